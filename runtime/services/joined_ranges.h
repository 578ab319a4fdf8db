// Ranges of a base read as one stream: where each lies in the stream and in
// the base. The joined I/O reads through it, and so does recovery of a
// volume that the embedder's reader (or a sibling file) gives.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "plugin/host/host_objects.h"
#include "runtime/services/services.h"

namespace arjrt {

class JoinedRanges {
 public:
  // Takes `ranges` in order; empty ones are left out. Refuses sums that
  // overflow 64 bits.
  [[nodiscard]] ResultCode Set(const std::vector<JoinedRange>& ranges) {
    std::vector<Piece> pieces;
    pieces.reserve(ranges.size());
    uint64_t total = 0;
    for (const JoinedRange& r : ranges) {
      if (r.size > UINT64_MAX - r.offset || r.size > UINT64_MAX - total) return ERR_BAD_PARAMETER;
      if (r.size == 0) continue;  // an empty piece would break the search by start
      pieces.push_back({total, r.offset, r.size});
      total += r.size;
    }
    pieces_ = std::move(pieces);
    total_ = total;
    return RESULT_OK;
  }

  uint64_t total() const { return total_; }

  // Whether every range lies inside a base of `size` bytes.
  bool Within(uint64_t size) const {
    return std::all_of(pieces_.begin(), pieces_.end(),
                       [size](const Piece& p) { return p.offset <= size && p.size <= size - p.offset; });
  }

  // Reads up to `size` bytes at `offset` of the stream into `out`, through
  // read_base(base_offset, out, want, &got) -> ResultCode; `*done` counts
  // them. Stops at a short read of the base; returns the base's failure
  // (other than the end of its data).
  template <class ReadBase>
  ResultCode Read(uint64_t offset, uint8_t* out, uint32_t size, uint32_t* done, const ReadBase& read_base) const {
    *done = 0;
    if (offset >= total_) return RESULT_OK;
    // The last piece whose start is at or before `offset`.
    size_t i = static_cast<size_t>(
        std::upper_bound(pieces_.begin(), pieces_.end(), offset,
                         [](uint64_t at, const Piece& p) { return at < p.start; }) -
        pieces_.begin() - 1);
    while (*done < size && i < pieces_.size()) {
      const Piece& p = pieces_[i];
      const uint64_t within = offset - p.start;  // offset >= p.start and within < p.size hold here
      const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(size - *done, p.size - within));
      uint32_t got = 0;
      const ResultCode result = read_base(p.offset + within, out + *done, want, &got);
      if (Failed(result) && result != ERR_END_OF_DATA) return result;
      got = std::min(got, want);
      *done += got;
      offset += got;
      if (got < want) break;  // the base ended early
      ++i;
    }
    return RESULT_OK;
  }

 private:
  struct Piece {
    uint64_t start;   // in the joined stream
    uint64_t offset;  // in the base
    uint64_t size;
  };
  std::vector<Piece> pieces_;
  uint64_t total_ = 0;
};

}  // namespace arjrt
