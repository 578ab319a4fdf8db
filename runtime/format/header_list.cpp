#include "runtime/format/header_list.h"

#include <algorithm>
#include <cstring>

namespace arjrt {
namespace {

constexpr uint32_t kSearchChunk = 64 * 1024;

// Up to `want` bytes from the start of `io`, fewer where it ends.
ResultCode ReadPrefix(ObjectRef io, uint64_t want, std::vector<uint8_t>* bytes) {
  bytes->clear();
  while (bytes->size() < want) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kSearchChunk, want - bytes->size()));
    const size_t at = bytes->size();
    bytes->resize(at + n);
    uint32_t got = 0;
    ResultCode result = host::Io(io).SeekRead(io, &got, at, bytes->data() + at, n);
    got = std::min(got, n);
    bytes->resize(at + got);
    if (Failed(result) && result != ERR_END_OF_DATA) return result;
    if (got < n) break;
  }
  return RESULT_OK;
}

}  // namespace

HeaderListing ListLocalHeaders(ObjectRef io, uint64_t main_offset, bool verify_crc, uint64_t max_headers) {
  HeaderListing listing;
  ArjHeader header;
  ResultCode result = ReadHeader(io, main_offset, verify_crc, &header);
  if (result != RESULT_OK) {
    // An end marker where the main header belongs opens no archive.
    listing.stop = result == ERR_END_OF_LIST ? ERR_CORRUPTED : result;
    return listing;
  }
  // The main header has no data of its own, whatever its size fields say.
  uint64_t at = header.data_offset;
  for (;;) {
    if (listing.headers.size() >= max_headers) {
      listing.stop = ERR_LIMIT_EXCEEDED;
      break;
    }
    result = ReadHeader(io, at, verify_crc, &header);
    if (result != RESULT_OK) {
      listing.stop = result;
      break;
    }
    at = header.NextOffset();
    listing.headers.push_back(std::move(header));
  }
  return listing;
}

bool AcceptableMainHeader(const ArjHeader& header) {
  return header.min_version >= 1 && header.min_version <= header.archiver_version;
}

ResultCode FindMainHeader(ObjectRef io, uint64_t limit, uint64_t* offset) {
  limit = std::min(limit, uint64_t{1} << 40);
  std::vector<uint8_t> bytes;
  ResultCode result = ReadPrefix(io, limit + kMaxHeaderPrefix, &bytes);
  if (Failed(result)) return result;
  const size_t end = static_cast<size_t>(std::min<uint64_t>(limit, bytes.size()));
  ArjHeader header;
  for (size_t p = 0; p < end; ++p) {
    const void* hit = std::memchr(bytes.data() + p, kArjIdFirst, end - p);
    if (hit == nullptr) break;
    p = static_cast<size_t>(static_cast<const uint8_t*>(hit) - bytes.data());
    if (ParseBasicHeader(bytes.data() + p, bytes.size() - p, true, &header) == RESULT_OK &&
        AcceptableMainHeader(header)) {
      *offset = p;
      return RESULT_OK;
    }
  }
  return ERR_NOT_FOUND;
}

}  // namespace arjrt
