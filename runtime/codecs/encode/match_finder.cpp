#include "runtime/codecs/encode/match_finder.h"

#include <algorithm>

namespace arjrt {

MatchFinder::MatchFinder(ByteSource& in, uint32_t max_distance, uint32_t depth, uint32_t good_enough,
                         uint32_t long_depth)
    : window_(in),
      max_distance_(std::min(max_distance, LzWindow::kHistory)),
      depth_(depth),
      good_enough_(good_enough),
      long_depth_(long_depth),
      head_(size_t{1} << kHashBits),
      prev_(LzWindow::kHistory),
      head3_(size_t{1} << kHash3Bits),
      head_long_(long_depth != 0 ? size_t{1} << kLongHashBits : 0),
      prev_long_(long_depth != 0 ? LzWindow::kHistory : 0) {
  std::fill_n(head_.data(), head_.size(), kNoPosition);
  std::fill_n(head3_.data(), head3_.size(), kNoPosition);
  std::fill_n(head_long_.data(), head_long_.size(), kNoPosition);
}

size_t MatchFinder::Search(Match* out, size_t capacity, uint32_t longer_than, uint32_t depth) const {
  const uint32_t limit = std::min(window_.lookahead(), lzh::kMaxMatch);
  if (limit <= longer_than || limit < lzh::kMinMatch) return 0;
  const uint8_t* data = window_.data();
  const uint32_t pos = window_.pos();
  const uint8_t* here = data + pos;
  uint32_t best_len = std::max(longer_than, lzh::kMinMatch - 1);
  size_t found = 0;
  // Returns whether the search is done.
  auto keep = [&](uint32_t len, uint32_t dist) {
    best_len = len;
    if (found == capacity) --found;  // keep the longest in the last slot
    out[found++] = {len, dist};
    return len >= good_enough_ || len == limit;
  };
  // The nearest 3-byte match first; the chains then look for longer ones.
  const int32_t near3 = head3_[Hash3(here, kHash3Bits)];
  if (best_len < lzh::kMinMatch && near3 != kNoPosition && pos - static_cast<uint32_t>(near3) <= max_distance_) {
    const uint32_t c = static_cast<uint32_t>(near3);
    const uint32_t len = window_.MatchLength(c, 0, limit);
    if (len > best_len && keep(len, pos - c)) return found;
  }
  if (limit < 4) return found;
  // Walks a chain nearest first; returns whether the search is done. Chains
  // only link entered positions, each to an earlier one, and a slot is
  // reused only kHistory positions later, beyond every distance searched;
  // the first position out of reach (kNoPosition among them) ends a chain.
  const int32_t lowest = static_cast<int32_t>(pos > max_distance_ ? pos - max_distance_ : 0);
  auto walk = [&](int32_t cand, const int32_t* prev, uint32_t links) __attribute__((always_inline)) {
    for (; links != 0 && cand >= lowest; --links, cand = prev[static_cast<uint32_t>(cand) & (LzWindow::kHistory - 1)]) {
      const uint32_t c = static_cast<uint32_t>(cand);
      // The byte that would extend the best match decides most candidates.
      if (data[c + best_len] == here[best_len] && data[c] == here[0]) {
        const uint32_t len = window_.MatchLength(c, 0, limit);
        if (len > best_len && keep(len, pos - c)) return true;
      }
    }
    return false;
  };
  if (walk(head_[Hash4(here, kHashBits)], prev_.data(), depth)) return found;
  // Then the long chain, for the longer matches beyond the chain's depth.
  if (long_on_ && limit >= kLongBytes) walk(head_long_[HashLong(here, kLongHashBits)], prev_long_.data(), long_depth_);
  return found;
}

}  // namespace arjrt
