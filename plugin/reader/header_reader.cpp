#include "plugin/reader/header_reader.h"

#include <algorithm>
#include <cstring>

#include "plugin/format/arj_layout.h"
#include "plugin/format/header_notice.h"
#include "plugin/format/header_parse.h"

using namespace arjhost::format;

namespace {

// A main header longer than this is not taken for one: its copy is kept in
// memory for the object's life.
constexpr uint64_t kMainHeaderLimit = uint64_t{16} << 20;

// Reads through the volume's stream: a short read delivers its count, and
// only a failure other than the end of the data is an I/O error.
int64_t ReadFromStream(void* context, uint64_t offset, void* buffer, uint32_t size) {
  auto stream = static_cast<ObjectRef>(context);
  uint32_t count = 0;
  const ResultCode result = host::Stream(stream).SeekRead(stream, &count, offset, buffer, size);
  if (Failed(result) && result != ERR_END_OF_DATA) return result;
  return std::min(count, size);
}

HeaderCause ReadAt(ObjectRef stream, uint64_t offset, HeaderRole role, uint8_t* prefix, HeaderFacts* facts) {
  const ByteReader reader{stream, ReadFromStream};
  return ReadHeader(reader, offset, role, kTablePolicy, prefix, facts);
}

[[nodiscard]] ResultCode ResultOf(HeaderCause cause, const HeaderFacts& facts) {
  switch (cause) {
    case HeaderCause::kHeader: return RESULT_OK;
    case HeaderCause::kEndMarker: return ERR_END_OF_LIST;
    case HeaderCause::kReadFailed: return facts.read_error;
    default: return ERR_CORRUPTED;
  }
}

}  // namespace

[[nodiscard]] ResultCode Recognize(ObjectRef io) {
  uint8_t header[kFixedHeaderSize] = {};
  uint32_t count = 0;
  ResultCode result = host::Io(io).SeekRead(io, &count, 0, header, sizeof header);
  // Only bytes that were read are judged: a short file is not an archive.
  const bool recognized = result == RESULT_OK && count == sizeof header && AcceptableMainHeader(header);
  return recognized ? RESULT_OK : ERR_NOT_RECOGNIZED;
}

[[nodiscard]] ResultCode MeasureMainHeader(ObjectRef stream, uint32_t* length_out) {
  uint8_t prefix[kMaxHeaderPrefix];
  HeaderFacts facts;
  HeaderCause cause = ReadAt(stream, 0, HeaderRole::kMain, prefix, &facts);
  // An end marker where the main header belongs opens nothing.
  if (cause == HeaderCause::kEndMarker) return ERR_CORRUPTED;
  ResultCode result = ResultOf(cause, facts);
  if (Failed(result)) return result;
  if (facts.data_offset > kMainHeaderLimit) return ERR_CORRUPTED;
  if (length_out != nullptr) *length_out = static_cast<uint32_t>(facts.data_offset);
  return RESULT_OK;
}

[[nodiscard]] ResultCode ReadLocalHeader(ObjectRef stream, uint32_t* position, uint8_t* fixed, char* name,
                                         LocalHeaderRead* read) {
  LocalHeaderRead own;
  LocalHeaderRead& r = read != nullptr ? *read : own;
  uint8_t* prefix = r.prefix;
  HeaderFacts& facts = r.facts;
  ResultCode result = ResultOf(ReadAt(stream, *position, HeaderRole::kLocal, prefix, &facts), facts);
  if (result != RESULT_OK) return result;
  std::memcpy(fixed, prefix, kFixedHeaderSize);
  const uint32_t kept = std::min(facts.name_length, kStoredNameChars);
  std::memcpy(name, prefix + facts.name_at, kept);
  name[kept] = '\0';
  *position = static_cast<uint32_t>(facts.next_offset);
  return RESULT_OK;
}

void SendEntryHeader(ObjectRef archiver, ObjectRef volume_io, uint32_t row, const LocalHeaderRead& read) {
  const ObjectRef target = host::FindAncestor(archiver, IID_FS_SOURCE);
  if (target == nullptr) return;
  uint8_t notice[kMaxHeaderNotice];
  uint32_t length = static_cast<uint32_t>(EncodeHeaderNotice(row, read.prefix, read.facts, notice));
  IgnoreResult(target->system->SendMessage(target, MSG_CLASS_ARCHIVE, MSG_ENTRY_HEADER, volume_io, notice, &length));
}
