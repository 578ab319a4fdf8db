#include "plugin/rebuild/rebuild.h"

#include <cstring>

#include "plugin/state/archiver_state.h"
#include "plugin/format/arj_layout.h"
#include "plugin/format/garble_key.h"
#include "plugin/format/header_parse.h"
#include "plugin/state/state_tables.h"
#include "plugin/rebuild/added_name.h"
#include "plugin/rebuild/copy_range.h"
#include "plugin/rebuild/copyable_archive.h"
#include "plugin/rebuild/encoded_entry.h"
#include "plugin/rebuild/entry_template.h"
#include "plugin/rebuild/main_header.h"
#include "plugin/rebuild/new_comment.h"

using namespace arjhost::format;

namespace {

// Where a new comment is read: past the header prefix and the added name
// that the work buffer holds at its start.
constexpr size_t kNewCommentAt = kWorkBufferSize - kNewCommentBufferSize;
static_assert(kNewCommentAt >= kMaxHeaderPrefix && kNewCommentAt >= kAddedNameBufferSize,
              "the new comment lies apart from what else the work buffer holds");

struct Rebuilding {
  ObjectRef archiver;
  ArchiverState& s;
  ObjectRef list;
  OutputStream out;
  KeptBytes kept;
  // Old bytes copied as they are, not yet written: the ranges of kept
  // entries that follow each other go out as one.
  struct {
    uint64_t offset = 0;
    uint64_t size = 0;
  } pending;
  EntryObjects entry;
  ResultCode running = RESULT_OK;  // what a finished rebuild returns
  char password[kMaxPasswordLength] = {};  // re-encoded entries are garbled with it
  uint32_t password_length = 0;
  bool second_version = false;  // the list gives comments and a password
};

// Whether the list is of the second version, as its interface id says: a
// list of the first is asked nothing beyond its four methods. A host
// object without the system method to ask is of the first.
bool OfSecondVersion(ObjectRef list) {
  const SystemMethods* system = list->system;
  return system != nullptr && system->GetInterfaceId != nullptr && system->GetInterfaceId(list) == IID_CHANGE_LIST_2;
}

// The change list's garbling password, if it gives one.
[[nodiscard]] ResultCode ReadGarblePassword(Rebuilding& b) {
  if (!b.second_version) return RESULT_OK;
  uint32_t length = 0;
  const ResultCode r = host::ChangeList2(b.list).GetGarblePassword(b.list, b.password, kMaxPasswordLength, &length);
  if (r == ERR_BUFFER_TOO_SMALL || (!Failed(r) && length > kMaxPasswordLength)) return ERR_BAD_PARAMETER;
  if (Failed(r)) return r;
  b.password_length = length;
  return RESULT_OK;
}

void SetGarbling(const Rebuilding& b, EncodedEntry& encoded) {
  encoded.password = b.password;
  encoded.password_length = b.password_length;
}

// A damaged entry is still copied (it may be the one a user is about to
// delete); the host is told which it was.
void ReportDamagedCopy(ObjectRef archiver, uint64_t number) {
  ObjectRef target = host::FindAncestor(archiver, IID_FS_SOURCE);
  if (target == nullptr) return;
  uint8_t bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(number >> (8 * i));
  uint32_t length = sizeof bytes;
  // A notice: the copy stands whatever the host does with it.
  IgnoreResult(target->system->SendMessage(target, MSG_CLASS_ARCHIVE, MSG_DAMAGED_ENTRY_COPIED, nullptr, bytes, &length));
}

[[nodiscard]] ResultCode WritePending(Rebuilding& b) {
  const uint64_t size = b.pending.size;
  b.pending.size = 0;
  return CopyKeptRange(b.kept, b.pending.offset, size, b.out);
}

// Copies `size` old bytes from `offset` after those pending, or as soon as
// they do not follow on.
[[nodiscard]] ResultCode CopyOldBytes(Rebuilding& b, uint64_t offset, uint64_t size) {
  if (b.pending.size != 0 && b.pending.offset + b.pending.size == offset) {
    b.pending.size += size;
    return RESULT_OK;
  }
  const ResultCode r = WritePending(b);
  b.pending.offset = offset;
  b.pending.size = size;
  return r;
}

// The change list's comment of `subject` and `number`, read into the work
// buffer's place for it.
[[nodiscard]] ResultCode NewComment(Rebuilding& b, uint32_t subject, uint64_t number, bool* given,
                                    EntryComment* comment) {
  if (!b.second_version) {
    *given = false;
    return RESULT_OK;
  }
  return ListedComment(b.list, subject, number, b.s.work_buffer + kNewCommentAt, given, comment);
}

// The stored header with `comment` in place of its own: its basic header
// written anew (read whole into the work buffer: the checks before the
// rebuild refuse a header that fails its CRC), its extended headers copied.
[[nodiscard]] ResultCode CopyHeaderWithComment(Rebuilding& b, const EntryRecord& e, const EntryComment& comment) {
  uint8_t* h = b.s.work_buffer;
  const uint64_t span = e.data_offset - e.header_offset;
  const uint32_t wanted = span < kMaxHeaderPrefix ? static_cast<uint32_t>(span) : kMaxHeaderPrefix;
  uint32_t count = 0;
  ResultCode r = host::Stream(b.s.archive_stream).SeekRead(b.s.archive_stream, &count, e.header_offset, h, wanted);
  HeaderFacts f;
  if ((Failed(r) && r != ERR_END_OF_DATA) || count > wanted || ParseBasicHeader(h, count, &f) != HeaderCause::kHeader)
    return Failed(r) && r != ERR_END_OF_DATA ? r : ERR_CORRUPTED;
  constexpr uint32_t kIdAndSize = fixed_header::kBasicHeader;
  const uint32_t basic_end = kIdAndSize + f.basic_size;
  const uint32_t comment_end = f.comment_at + f.comment_length;
  const uint32_t after = comment_end < basic_end ? comment_end + 1 : basic_end;  // past the old NUL
  const uint32_t new_size = f.comment_at - kIdAndSize + comment.length + 1 + (basic_end - after);
  if (new_size > kMaxBasicHeaderSize) return ERR_BAD_PARAMETER;
  static constexpr uint8_t kNul = 0;
  const ByteSpan pieces[] = {{h + kIdAndSize, f.comment_at - kIdAndSize},
                             {comment.text, comment.length},
                             {&kNul, 1},
                             {h + after, basic_end - after}};
  HeaderOutput writing{b.out};
  if (!WriteBasicHeader(writing.Writer(), pieces, 4)) return writing.Failure(ERR_BAD_PARAMETER);
  const uint64_t extended_at = e.header_offset + basic_end + 4;  // past the basic header's CRC
  return CopyKeptRange(b.kept, extended_at, e.data_offset - extended_at, b.out);
}

[[nodiscard]] ResultCode CopyStoredEntry(Rebuilding& b, const EntryRecord& e, uint64_t number) {
  bool commented = false;
  EntryComment comment;
  ResultCode r = NewComment(b, COMMENT_OF_ENTRY, number, &commented, &comment);
  if (Failed(r)) return r;
  // Header and packed data are copied in chunks: a stored header can be
  // longer than any buffer (up to 64 KiB basic header, extended headers).
  if (commented && !Failed(r = WritePending(b))) r = CopyHeaderWithComment(b, e, comment);
  else if (!commented) r = CopyOldBytes(b, e.header_offset, e.data_offset - e.header_offset);
  if (Failed(r)) return r;
  const uint64_t packed = PackedSize(e.fixed_header);
  if (!StoredPlainFile(e.fixed_header)) return CopyOldBytes(b, e.data_offset, packed);
  // Stored data is checked on its way through, at no cost of reading: it
  // is read here rather than copied by the host.
  uint32_t crc = 0;
  if (Failed(r = WritePending(b))) return r;
  r = CopyRange(b.kept.buffer, b.s.archive_stream, e.data_offset, packed, b.out, &crc);
  if (!Failed(r) && crc != FileCrc(e.fixed_header)) ReportDamagedCopy(b.archiver, number);
  return r;
}

// The comment of the entry's stored header, read into `buffer` (which
// holds kMaxHeaderPrefix bytes); empty when the header cannot be read
// whole. New content does not make the entry's comment wrong: it stays,
// as arj keeps it.
EntryComment StoredComment(Rebuilding& b, const EntryRecord& e, uint8_t* buffer) {
  const uint64_t span = e.data_offset - e.header_offset;
  const uint32_t wanted = span < kMaxHeaderPrefix ? static_cast<uint32_t>(span) : kMaxHeaderPrefix;
  uint32_t count = 0;
  const ResultCode r = host::Stream(b.s.archive_stream).SeekRead(b.s.archive_stream, &count, e.header_offset, buffer, wanted);
  HeaderFacts facts;
  if ((Failed(r) && r != ERR_END_OF_DATA) || count > wanted ||
      ParseBasicHeader(buffer, count, &facts) != HeaderCause::kHeader)
    return {};
  return {buffer + facts.comment_at, facts.comment_length};
}

[[nodiscard]] ResultCode ReplaceEntry(Rebuilding& b, const EntryRecord& e, uint64_t number) {
  EntryTemplate t{};
  ResultCode r = ReplacedEntryTemplate(e, b.entry.source, &t);
  if (Failed(r)) return r;
  // The comment lies in the work buffer, which the placeholder header is
  // written from before anything else uses it.
  EncodedEntry encoded{&t, e.name, static_cast<uint32_t>(strnlen(e.name, kEntryNameSize))};
  bool commented = false;
  if (Failed(r = NewComment(b, COMMENT_OF_ENTRY, number, &commented, &encoded.comment))) return r;
  if (!commented) encoded.comment = StoredComment(b, e, b.s.work_buffer);
  SetGarbling(b, encoded);
  ResultCode processed = RESULT_OK;
  r = WriteEncodedEntry(b.archiver, b.s.work_buffer, b.out, encoded, b.entry, &processed);
  if (!Failed(r)) b.running = processed;
  return r;
}

[[nodiscard]] ResultCode WriteOldEntry(Rebuilding& b, uint64_t number) {
  const ChangeListMethods& list = host::ChangeList(b.list);
  const EntryRecord& e = b.s.entries[number - 1];
  ObjectRef object = nullptr;
  if (list.QueryEntry(b.list, &object, QUERY_ENTRY_KEPT, number) == 0) return RESULT_OK;
  const uint32_t unchanged = list.QueryEntry(b.list, &object, QUERY_ENTRY_UNCHANGED, number);
  b.entry.source = object;
  b.entry.source_owned = object != nullptr;
  ResultCode r;
  if (unchanged != 0) {
    r = CopyStoredEntry(b, e, number);
    if (!Failed(r)) b.running = r;
  } else if (object == nullptr) {
    r = ERR_BAD_PARAMETER;  // replaced by nothing
  } else if (!Failed(r = WritePending(b))) {
    r = ReplaceEntry(b, e, number);
  }
  if (Failed(r)) return r;
  ReleaseEntryObjects(b.entry);
  return RESULT_OK;
}

[[nodiscard]] ResultCode WriteAddedEntry(Rebuilding& b, uint32_t iterator) {
  ObjectRef object = nullptr;
  ResultCode r = host::ChangeList(b.list).GetAdded(b.list, &object, iterator);
  if (Failed(r)) return r;
  if (object == nullptr) return ERR_BAD_PARAMETER;
  b.entry.source = object;
  b.entry.source_owned = false;  // an added object stays the list's
  EntryTemplate t{};
  if (Failed(r = AddedEntryTemplate(b.s, object, &t))) return r;
  char* name = reinterpret_cast<char*>(b.s.work_buffer);
  uint32_t name_length = 0;
  if (Failed(r = ReadAddedName(object, name, &name_length))) return r;
  EncodedEntry encoded{&t, name, name_length};
  bool commented = false;
  if (Failed(r = NewComment(b, COMMENT_OF_ADDED, iterator, &commented, &encoded.comment))) return r;
  SetGarbling(b, encoded);
  ResultCode processed = RESULT_OK;
  r = WriteEncodedEntry(b.archiver, b.s.work_buffer, b.out, encoded, b.entry, &processed);
  if (Failed(r)) return r;
  b.running = processed;
  ReleaseEntryObjects(b.entry);
  return RESULT_OK;
}

[[nodiscard]] ResultCode WriteEntries(Rebuilding& b) {
  bool commented = false;
  EntryComment comment;
  ResultCode r = NewComment(b, COMMENT_OF_ARCHIVE, 0, &commented, &comment);
  if (!Failed(r)) r = WriteMainHeader(b.out, b.s.main_header, b.s.main_header_length, commented ? &comment : nullptr);
  for (uint64_t k = 1; !Failed(r) && k <= b.s.entry_count; ++k) r = WriteOldEntry(b, k);
  if (!Failed(r)) r = WritePending(b);
  if (Failed(r)) return r;
  const ChangeListMethods& list = host::ChangeList(b.list);
  uint32_t iterator = 0;
  for (uint32_t more = list.FirstAdded(b.list, &iterator); more == 0; more = list.NextAdded(b.list, &iterator))
    if (Failed(r = WriteAddedEntry(b, iterator))) return r;
  if (Failed(r = WriteWord16(b.out, kArjHeaderId))) return r;
  return WriteWord16(b.out, 0);
}

// The new archive written to `destination`, from the main header to the
// end marker.
[[nodiscard]] ResultCode WriteArchive(Rebuilding& b, ObjectRef destination) {
  ArchiverState& s = b.s;
  ResultCode r = RESULT_OK;
  b.second_version = OfSecondVersion(b.list);
  if (Failed(r = ReadGarblePassword(b))) return r;
  b.out.target = destination;
  if (Failed(r = host::CreateObjectQuick(destination, &b.out.stream, IID_STREAM, PID_DEFAULT))) return r;
  ObjectRef archive_stream = nullptr;
  r = host::CreateObjectQuick(s.archive_io, &archive_stream, IID_STREAM, PID_DEFAULT);
  if (!Failed(r)) {
    s.archive_stream = archive_stream;  // the earlier stream stays with the volume table
    b.kept.source = archive_stream;
    AskForHostCopier(b.kept);
    b.running = r;
    r = WriteEntries(b);
    CloseHostCopier(b.kept);
  }
  ReleaseEntryObjects(b.entry);
  const ResultCode flushed = FlushOutput(b.out);
  host::CloseIfOpen(b.out.stream);  // flushed above: nothing is left for the close to write
  if (Failed(r)) return r;
  if (Failed(flushed)) return flushed;
  return b.running;
}

}  // namespace

ResultCode Rebuild(ObjectRef archiver, ObjectRef change_list, ObjectRef destination) {
  if (archiver == nullptr || change_list == nullptr || destination == nullptr) return ERR_BAD_PARAMETER;
  ArchiverState& s = StateOf(archiver);
  ResultCode r = RESULT_OK;
  if (s.work_buffer == nullptr && Failed(r = AllocateBlock(s, &s.work_buffer, kWorkBufferSize))) return r;
  // Refused before anything is written.
  if (Failed(r = CheckCopyableArchive(s))) return r;

  Rebuilding b{archiver, s, change_list, {}, {}, {}, {}};
  if (Failed(r = AllocateBlock(s, &b.kept.buffer, kCopyChunk))) return r;
  r = WriteArchive(b, destination);
  ReleaseBlock(s, &b.kept.buffer);
  return r;
}
