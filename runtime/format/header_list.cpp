#include "runtime/format/header_list.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace arjrt {
namespace {

constexpr uint32_t kSearchChunk = 64 * 1024;

}  // namespace

WalkEnd WalkLocalHeaders(ObjectRef io, uint64_t main_offset, const HeaderPolicy& policy, const HeaderVisitor& visit,
                         uint64_t max_headers) {
  WalkEnd end;
  ArjHeader& header = end.header;
  end.main_header = true;
  end.cause = ReadHeaderAt(io, main_offset, HeaderRole::kMain, policy, &header, &end.io_error);
  // An end marker where the main header belongs opens no archive.
  if (end.cause == HeaderCause::kEndMarker) end.cause = HeaderCause::kTruncated;
  if (end.cause != HeaderCause::kHeader) return end;
  end.main_header = false;
  end.main_crc_matches = header.crc_matches;
  uint64_t at = header.next_offset;
  for (;; ++end.visited) {
    if (end.visited >= max_headers) {
      end.limit_reached = true;
      break;
    }
    end.cause = ReadHeaderAt(io, at, HeaderRole::kLocal, policy, &header, &end.io_error);
    if (end.cause != HeaderCause::kHeader) break;
    at = header.next_offset;
    visit(header);
  }
  return end;
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
  HeaderFacts facts;
  for (uint64_t chunk = from; chunk < end;) {
    uint32_t got = 0;
    ResultCode result = host::Io(io).SeekRead(io, &got, chunk, bytes.data(), static_cast<uint32_t>(bytes.size()));
    if (Failed(result) && result != ERR_END_OF_DATA) return result;
    got = std::min<uint32_t>(got, static_cast<uint32_t>(bytes.size()));
    const size_t stop = static_cast<size_t>(std::min<uint64_t>({kSearchChunk, end - chunk, got}));
    for (size_t p = 0; p < stop; ++p) {
      const void* hit = std::memchr(bytes.data() + p, kArjHeaderIdLow, stop - p);
      if (hit == nullptr) break;
      p = static_cast<size_t>(static_cast<const uint8_t*>(hit) - bytes.data());
      facts = HeaderFacts{};
      facts.offset = chunk + p;
      if (ParseBasicHeader(bytes.data() + p, got - p, &facts) != HeaderCause::kHeader || !facts.basic_crc_matches)
        continue;
      HeaderFromBytes(bytes.data() + p, facts, &header);
      if (accept(header, chunk + p)) {
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
