#include "plugin/reader/header_reader.h"

#include "plugin/frame/archiver_state.h"
#include "plugin/reader/arj_format.h"

namespace {

// A main header longer than this is not taken for one: its copy is kept in
// memory for the object's life.
constexpr uint64_t kMainHeaderLimit = uint64_t{16} << 20;

ResultCode SeekTo(ObjectRef stream, uint64_t offset) {
  return host::Stream(stream).Seek(stream, nullptr, offset, SEEK_FROM_START);
}

}  // namespace

ResultCode Recognize(ObjectRef io) {
  uint8_t header[kFixedHeaderSize] = {};
  uint32_t count = 0;
  ResultCode result = host::Io(io).SeekRead(io, &count, 0, header, sizeof header);
  // Only bytes that were read are judged: a short file is not an archive.
  bool recognized = result == RESULT_OK && count == sizeof header &&
                    LoadWord(header + fixed_header::kId) == kArjHeaderId &&
                    header[fixed_header::kMinVersion] == kRecognizedMinVersion &&
                    LoadWord(header + fixed_header::kBasicHeaderSize) < kRecognizedBasicHeaderLimit;
  return recognized ? RESULT_OK : ERR_NOT_RECOGNIZED;
}

bool ReadBoundedZString(ObjectRef stream, uint64_t* count, char* buffer, uint64_t limit) {
  const StreamMethods& s = host::Stream(stream);
  uint64_t consumed = 0;
  uint32_t stored = 0;
  bool terminated = false;
  while (consumed < limit) {
    uint8_t byte = 0;
    s.ReadByte(stream, &byte);  // a byte that cannot be read stays 0 and ends the string
    ++consumed;
    if (buffer != nullptr && stored < kStoredNameChars) buffer[stored++] = static_cast<char>(byte);
    if (byte == 0) {
      terminated = true;
      break;
    }
  }
  if (buffer != nullptr) buffer[stored] = '\0';
  if (count != nullptr) *count = consumed;
  return terminated;
}

ResultCode ReadZString(ObjectRef stream, uint32_t* count, char* buffer) {
  uint64_t consumed = 0;
  ReadBoundedZString(stream, &consumed, buffer, ~uint64_t{0});
  if (count != nullptr) *count = static_cast<uint32_t>(consumed);
  return RESULT_OK;
}

uint64_t WalkExtendedHeaders(ObjectRef stream, uint64_t q, bool* terminated) {
  const StreamMethods& s = host::Stream(stream);
  bool read_terminator = false;
  // Every step moves on by at least 6 bytes; beyond 4 GiB nothing is read.
  while (q <= kVolumeOffsetLimit) {
    SeekTo(stream, q);
    uint16_t size = 0;
    ResultCode result = s.ReadWord(stream, &size);
    q += 2 + uint64_t{size};
    if (size == 0) {
      read_terminator = result == RESULT_OK;
      break;
    }
    q += 4;  // the extended header's CRC is stepped over, not read
  }
  if (terminated != nullptr) *terminated = read_terminator;
  return q;
}

ResultCode MeasureMainHeader(ObjectRef stream, uint32_t* length_out) {
  uint8_t header[kFixedHeaderSize] = {};
  SeekTo(stream, 0);
  uint32_t count = 0;
  if (host::Stream(stream).Read(stream, &count, header, sizeof header) != RESULT_OK) return ERR_CORRUPTED;
  uint64_t first_header_size = header[fixed_header::kFirstHeaderSize];
  uint64_t basic_end = 4 + uint64_t{LoadWord(header + fixed_header::kBasicHeaderSize)};
  uint64_t length = 4 + first_header_size;
  if (length > basic_end) return ERR_CORRUPTED;
  SeekTo(stream, length);
  // The name and the comment must both end within the basic header.
  for (int string = 0; string < 2; ++string) {
    uint64_t consumed = 0;
    if (!ReadBoundedZString(stream, &consumed, nullptr, basic_end - length)) return ERR_CORRUPTED;
    length += consumed;
  }
  length += 4;  // the header CRC
  bool terminated = false;
  length = WalkExtendedHeaders(stream, length, &terminated);
  if (!terminated || length > kMainHeaderLimit) return ERR_CORRUPTED;
  if (length_out != nullptr) *length_out = static_cast<uint32_t>(length);
  return RESULT_OK;
}

ResultCode ReadLocalHeader(ObjectRef stream, uint32_t* position, uint8_t* fixed, char* name) {
  const StreamMethods& s = host::Stream(stream);
  const uint64_t p = *position;
  SeekTo(stream, p);
  uint32_t count = 0;
  ResultCode result = s.Read(stream, &count, fixed, kFixedHeaderSize);
  if (count == 4) return ERR_END_OF_LIST;  // the end marker closes a volume, whatever its bytes
  if (result == WARN_SHORT_READ || result == ERR_END_OF_DATA || count != kFixedHeaderSize ||
      LoadWord(fixed + fixed_header::kId) != kArjHeaderId || LoadWord(fixed + fixed_header::kBasicHeaderSize) == 0)
    return ERR_CORRUPTED;
  if (Failed(result)) return result;

  const uint64_t basic_end = p + 4 + LoadWord(fixed + fixed_header::kBasicHeaderSize);
  uint64_t at = p + 4 + fixed[fixed_header::kFirstHeaderSize];
  SeekTo(stream, at);
  // Name and comment are read within the basic header only: its size, not
  // the strings, decides where the header CRC and the data are.
  uint64_t consumed = 0;
  ReadBoundedZString(stream, &consumed, name, at < basic_end ? basic_end - at : 0);
  at += consumed;
  ReadBoundedZString(stream, nullptr, nullptr, at < basic_end ? basic_end - at : 0);

  uint64_t data = WalkExtendedHeaders(stream, basic_end + 4, nullptr);
  uint64_t next = data + PackedSize(fixed);
  if (next > kVolumeOffsetLimit) return ERR_CORRUPTED;
  *position = static_cast<uint32_t>(next);
  return RESULT_OK;
}
