#include "plugin/rebuild/entry_template.h"

#include <cstring>

#include "plugin/format/arj_layout.h"
#include "plugin/format/header_writer.h"
#include "plugin/rebuild/time_stamp.h"

using namespace arjhost::format;

namespace {

constexpr uint8_t kDefaultMethod = Byte(Method::kBest);
constexpr uint16_t kDefaultAccessMode = StoredUnixMode(UnixMark::kRegularFile, 0644);

template <class T>
bool OptionalProperty(ObjectRef o, PropId id, T* value) {
  T v{};
  uint32_t length = 0;
  if (o == nullptr || Failed(o->system->GetPropBuffer(o, &length, id, &v, sizeof v)) || length != sizeof v)
    return false;
  *value = v;
  return true;
}

// A re-encoded entry is a whole, ungarbled, unsplit regular file: no flag
// or file type of the header it started from would be true of it.
void ClearInheritedFlagsAndType(uint8_t* h) {
  h[fixed_header::kFlags] = 0;
  h[fixed_header::kFileType] = Byte(FileType::kBinary);
  h[fixed_header::kGarbleModifier] = 0;
}

// The content's own mode makes the entry a UNIX one, whatever host wrote
// the header it started from; without one the template's host and
// attributes stand together.
ResultCode ApplyContentMode(ObjectRef content, EntryTemplate* out) {
  uint8_t* h = out->header;
  uint32_t mode = 0;
  if (!OptionalProperty(content, PROP_FILE_MODE, &mode)) return RESULT_OK;
  h[fixed_header::kHostOs] = Byte(HostOs::kUnix);
  bool special = false;
  uint32_t length = 0;
  // A hard link's own mode is a regular file's: its body says what it is.
  // Its length is asked first: a body too long must fail, not go unseen.
  if (!Failed(content->system->GetPropBuffer(content, &length, PROP_UNIX_SPECIAL, nullptr, 0)) && length != 0) {
    if (length > kMaxUnixSpecialBodySize) return ERR_LIMIT_EXCEEDED;
    uint32_t read = 0;
    ResultCode r = content->system->GetPropBuffer(content, &read, PROP_UNIX_SPECIAL, out->unix_special, length);
    if (Failed(r)) return r;
    if (read != length) return ERR_BAD_PARAMETER;
    out->unix_special_length = length;
    special = true;
    h[fixed_header::kMinVersion] = kUnixSpecialMinVersion;
  }
  const UnixMark mark = UnixMarkOf(mode, special);
  if (mark == UnixMark::kSpecial) h[fixed_header::kFileType] = Byte(FileType::kUnixSpecial);
  if (mark == UnixMark::kFolder) h[fixed_header::kFileType] = Byte(FileType::kDirectory);
  StoreWord(h + fixed_header::kAccessMode, StoredUnixMode(mark, mode));
  // Neither holds data: stored, as arj stores them.
  if (mark != UnixMark::kRegularFile) out->method = h[fixed_header::kMethod] = 0;
  return RESULT_OK;
}

// The content's modification time, in the form the (final) host byte
// implies; true when the content has one.
bool ApplyContentTime(ObjectRef content, uint8_t* h) {
  int64_t seconds = 0;
  if (!OptionalProperty(content, PROP_MODIFIED_TIME, &seconds)) return false;
  StampUnixSeconds(h, seconds);
  return true;
}

[[nodiscard]] ResultCode ApplyRequestedMethod(ObjectRef content, EntryTemplate* out) {
  uint32_t method = 0;
  if (!OptionalProperty(content, PROP_ENTRY_METHOD, &method)) return RESULT_OK;
  if (method > Byte(kLastMethod)) return ERR_BAD_PARAMETER;
  out->method = static_cast<uint8_t>(method);
  out->header[fixed_header::kMethod] = out->method;
  return RESULT_OK;
}

void DefaultHeader(uint8_t* h) {
  NewFixedHeader(FileType::kBinary, h);
  h[fixed_header::kMethod] = kDefaultMethod;
  StoreWord(h + fixed_header::kAccessMode, kDefaultAccessMode);
  StampNow(h);  // stands when the content has no time of its own
}

// What both kinds of new entry take from their content, over `out->header`.
[[nodiscard]] ResultCode ApplyContent(ObjectRef content, EntryTemplate* out) {
  out->method = EntryMethod(out->header);
  out->unix_special_length = 0;
  ClearInheritedFlagsAndType(out->header);
  ResultCode r = ApplyRequestedMethod(content, out);
  return Failed(r) ? r : ApplyContentMode(content, out);
}

}  // namespace

ResultCode ReplacedEntryTemplate(const EntryRecord& entry, ObjectRef content, EntryTemplate* out) {
  std::memcpy(out->header, entry.fixed_header, kFixedHeaderSize);
  ResultCode r = ApplyContent(content, out);
  if (!ApplyContentTime(content, out->header)) StampNow(out->header);
  return r;
}

ResultCode AddedEntryTemplate(const ArchiverState& s, ObjectRef content, EntryTemplate* out) {
  if (s.entry_count != 0) std::memcpy(out->header, s.entries[0].fixed_header, kFixedHeaderSize);
  else DefaultHeader(out->header);
  ResultCode r = ApplyContent(content, out);
  ApplyContentTime(content, out->header);
  return r;
}
