#include "runtime/format/header_list.h"

#include <algorithm>
#include <cstring>

namespace arjrt {
namespace {

constexpr uint32_t kSearchChunk = 64 * 1024;

}  // namespace

ResultCode WalkLocalHeaders(ObjectRef io, uint64_t main_offset, const HeaderVisitor& visit, uint64_t* visited,
                            bool verify_crc, uint64_t max_headers) {
  uint64_t count = 0;
  if (visited != nullptr) *visited = 0;
  ArjHeader header;
  ResultCode result = ReadHeader(io, main_offset, verify_crc, &header);
  // An end marker where the main header belongs opens no archive.
  if (result != RESULT_OK) return result == ERR_END_OF_LIST ? ERR_CORRUPTED : result;
  // The main header has no data of its own, whatever its size fields say.
  uint64_t at = header.data_offset;
  for (;; ++count) {
    if (count >= max_headers) {
      result = ERR_LIMIT_EXCEEDED;
      break;
    }
    result = ReadHeader(io, at, verify_crc, &header);
    if (result != RESULT_OK) break;
    at = header.NextOffset();
    visit(header);
  }
  if (visited != nullptr) *visited = count;
  return result;
}

bool AcceptableMainHeader(const ArjHeader& header) {
  return header.min_version >= 1 && header.min_version <= header.archiver_version;
}

ResultCode FindMainHeader(ObjectRef io, uint64_t limit, uint64_t* offset) {
  return FindHeader(
      io, 0, limit, [](const ArjHeader& header, uint64_t) { return AcceptableMainHeader(header); }, offset);
}

ResultCode FindHeader(ObjectRef io, uint64_t from, uint64_t end, const HeaderFilter& accept, uint64_t* offset) {
  // Each chunk is read with the largest header's worth of bytes after it,
  // so that a header starting near its end is judged whole.
  std::vector<uint8_t> bytes(size_t{kSearchChunk} + kMaxHeaderPrefix);
  ArjHeader header;
  for (uint64_t chunk = from; chunk < end;) {
    uint32_t got = 0;
    ResultCode result = host::Io(io).SeekRead(io, &got, chunk, bytes.data(), static_cast<uint32_t>(bytes.size()));
    if (Failed(result) && result != ERR_END_OF_DATA) return result;
    got = std::min<uint32_t>(got, static_cast<uint32_t>(bytes.size()));
    const size_t stop = static_cast<size_t>(std::min<uint64_t>({kSearchChunk, end - chunk, got}));
    for (size_t p = 0; p < stop; ++p) {
      const void* hit = std::memchr(bytes.data() + p, kArjIdFirst, stop - p);
      if (hit == nullptr) break;
      p = static_cast<size_t>(static_cast<const uint8_t*>(hit) - bytes.data());
      if (ParseBasicHeader(bytes.data() + p, got - p, true, &header) == RESULT_OK && accept(header, chunk + p)) {
        *offset = chunk + p;
        return RESULT_OK;
      }
    }
    if (got <= kSearchChunk || end - chunk <= kSearchChunk) break;  // the I/O or the range ends in this chunk
    chunk += kSearchChunk;
  }
  return ERR_NOT_FOUND;
}

}  // namespace arjrt
