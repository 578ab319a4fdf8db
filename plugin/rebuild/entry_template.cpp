#include "plugin/rebuild/entry_template.h"

#include <cstring>

#include "plugin/format/arj_layout.h"
#include "plugin/rebuild/time_stamp.h"

namespace {

constexpr uint8_t kMaxMethod = 4;
constexpr uint8_t kDefaultMethod = 1;
constexpr uint8_t kDefaultArchiverVersion = 11;
constexpr uint8_t kDefaultMinVersion = 1;
constexpr uint8_t kFirstHeaderSize = 30;
// arj on UNIX keeps the permission bits and marks a regular file with 0x1000.
constexpr uint16_t kUnixRegularFileMark = 0x1000;
constexpr uint32_t kUnixPermissionBits = 07777;
constexpr uint16_t kDefaultAccessMode = kUnixRegularFileMark | 0644;

template <class T>
bool OptionalProperty(ObjectRef o, PropId id, T* value) {
  T v{};
  uint32_t length = 0;
  if (o == nullptr || Failed(o->system->GetPropBuffer(o, &length, id, &v, sizeof v)) || length != sizeof v)
    return false;
  *value = v;
  return true;
}

// A re-encoded entry is a whole, unsplit file with content: flags of a
// continuation or of garbling, and a directory's file type, would lie.
void MendFlagsAndType(uint8_t* h) {
  h[fixed_header::kFlags] &= static_cast<uint8_t>(~(FLAG_GARBLED | FLAG_SPLIT_NEXT | FLAG_SPLIT_PREV));
  const uint8_t type = h[fixed_header::kFileType];
  if (type != kFileTypeBinary && type != kFileTypeText) h[fixed_header::kFileType] = kFileTypeBinary;
}

ResultCode ApplyRequestedMethod(ObjectRef content, EntryTemplate* out) {
  uint32_t method = 0;
  if (!OptionalProperty(content, PROP_ENTRY_METHOD, &method)) return RESULT_OK;
  if (method > kMaxMethod) return ERR_BAD_PARAMETER;
  out->method = static_cast<uint8_t>(method);
  out->header[fixed_header::kMethod] = out->method;
  return RESULT_OK;
}

void DefaultHeader(ObjectRef content, uint8_t* h) {
  std::memset(h, 0, kFixedHeaderSize);
  StoreWord(h + fixed_header::kId, kArjHeaderId);
  h[fixed_header::kFirstHeaderSize] = kFirstHeaderSize;
  h[fixed_header::kArchiverVersion] = kDefaultArchiverVersion;
  h[fixed_header::kMinVersion] = kDefaultMinVersion;
  h[fixed_header::kHostOs] = kHostUnix;
  h[fixed_header::kMethod] = kDefaultMethod;
  h[fixed_header::kFileType] = kFileTypeBinary;
  uint32_t mode = 0;
  const uint16_t access = OptionalProperty(content, PROP_FILE_MODE, &mode)
                              ? static_cast<uint16_t>(kUnixRegularFileMark | (mode & kUnixPermissionBits))
                              : kDefaultAccessMode;
  StoreWord(h + fixed_header::kAccessMode, access);
  StampNow(h);  // stands when the content has no time of its own
}

}  // namespace

ResultCode ReplacedEntryTemplate(const EntryRecord& entry, ObjectRef content, EntryTemplate* out) {
  std::memcpy(out->header, entry.fixed_header, kFixedHeaderSize);
  out->method = EntryMethod(entry.fixed_header);
  MendFlagsAndType(out->header);
  StampNow(out->header);
  return ApplyRequestedMethod(content, out);
}

ResultCode AddedEntryTemplate(const ArchiverState& s, ObjectRef content, EntryTemplate* out) {
  if (s.entry_count != 0) std::memcpy(out->header, s.entries[0].fixed_header, kFixedHeaderSize);
  else DefaultHeader(content, out->header);
  out->method = EntryMethod(out->header);
  MendFlagsAndType(out->header);
  int64_t seconds = 0;
  if (OptionalProperty(content, PROP_MODIFIED_TIME, &seconds)) StampUnixSeconds(out->header, seconds);
  return ApplyRequestedMethod(content, out);
}
