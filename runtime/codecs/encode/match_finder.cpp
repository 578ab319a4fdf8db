#include "runtime/codecs/encode/match_finder.h"

#include <algorithm>
#include <cstring>

namespace arjrt {

namespace {
// Window bytes: kHistory behind the cursor plus room to read ahead in chunks.
constexpr uint32_t kWindowBytes = 1u << 18;
}  // namespace

MatchFinder::MatchFinder(ByteSource& in, uint32_t max_distance)
    : in_(in),
      max_distance_(std::min(max_distance, kHistory)),
      window_(kWindowBytes),
      head_(size_t{1} << kHashBits, kNone),
      prev_(kHistory, kNone) {}

ResultCode MatchFinder::ReadMore() {
  while (!eof_ && filled_ - pos_ < lzh::kMaxMatch) {
    if (filled_ == kWindowBytes) Slide();
    const int64_t got = in_.Read(window_.data() + filled_, kWindowBytes - filled_);
    if (got < 0) return static_cast<ResultCode>(got);
    if (got == 0) {
      eof_ = true;
    } else {
      // A source must not claim more than it was offered.
      if (static_cast<uint64_t>(got) > kWindowBytes - filled_) return ERR_BAD_PARAMETER;
      filled_ += static_cast<uint32_t>(got);
      bytes_read_ += static_cast<uint64_t>(got);
    }
  }
  return RESULT_OK;
}

// Drops whole kHistory-sized spans the chains can no longer reach. Shifting
// by multiples of kHistory keeps each position's slot in prev_.
void MatchFinder::Slide() {
  const uint32_t shift = (pos_ - kHistory) & ~(kHistory - 1);
  std::memmove(window_.data(), window_.data() + shift, filled_ - shift);
  pos_ -= shift;
  filled_ -= shift;
  const int32_t s = static_cast<int32_t>(shift);
  for (int32_t& v : head_) v = v >= s ? v - s : kNone;
  for (int32_t& v : prev_) v = v >= s ? v - s : kNone;
}

uint32_t MatchFinder::MatchLength(uint32_t candidate, uint32_t limit) const {
  const uint8_t* a = window_.data() + candidate;
  const uint8_t* b = window_.data() + pos_;
  uint32_t n = 0;
  while (n + 8 <= limit) {
    uint64_t x, y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) return n + static_cast<uint32_t>(__builtin_ctzll(x ^ y) >> 3);
    n += 8;
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

Match MatchFinder::FindLongest(uint32_t depth, uint32_t good_enough) const {
  Match best{0, 0};
  const uint32_t limit = std::min(filled_ - pos_, lzh::kMaxMatch);
  if (limit < lzh::kMinMatch) return best;
  const uint8_t* here = window_.data() + pos_;
  uint32_t best_len = lzh::kMinMatch - 1;
  int32_t cand = head_[HashAt(pos_)];
  while (cand != kNone && depth-- != 0) {
    const uint32_t c = static_cast<uint32_t>(cand);
    const uint32_t dist = pos_ - c;
    if (dist > max_distance_) break;
    // The byte that would extend the best match decides most candidates.
    if (window_[c + best_len] == here[best_len] && window_[c] == here[0]) {
      const uint32_t len = MatchLength(c, limit);
      if (len > best_len) {
        best_len = len;
        best = {len, dist};
        if (len >= good_enough || len == limit) break;
      }
    }
    cand = prev_[c & (kHistory - 1)];
  }
  return best;
}

size_t MatchFinder::FindAll(uint32_t depth, Match* out, size_t capacity) const {
  size_t found = 0;
  const uint32_t limit = std::min(filled_ - pos_, lzh::kMaxMatch);
  if (limit < lzh::kMinMatch || capacity == 0) return 0;
  const uint8_t* here = window_.data() + pos_;
  uint32_t best_len = lzh::kMinMatch - 1;
  int32_t cand = head_[HashAt(pos_)];
  while (cand != kNone && depth-- != 0) {
    const uint32_t c = static_cast<uint32_t>(cand);
    const uint32_t dist = pos_ - c;
    if (dist > max_distance_) break;
    if (window_[c + best_len] == here[best_len] && window_[c] == here[0]) {
      const uint32_t len = MatchLength(c, limit);
      if (len > best_len) {
        best_len = len;
        // Keep the longest in the last slot when capacity runs out.
        if (found == capacity) --found;
        out[found++] = {len, dist};
        if (len == limit) break;
      }
    }
    cand = prev_[c & (kHistory - 1)];
  }
  return found;
}

}  // namespace arjrt
