// Sliding window over the input with hash chains of 3-byte prefixes. Reads
// the source in large chunks; memory stays fixed whatever the input size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/codecs/codec_io.h"
#include "runtime/codecs/encode/lzh_constants.h"

namespace arjrt {

struct Match {
  uint32_t length;
  uint32_t distance;
};

class MatchFinder {
 public:
  // max_distance must not exceed kHistory.
  MatchFinder(ByteSource& in, uint32_t max_distance);

  static constexpr uint32_t kHistory = 32768;

  // Makes kMaxMatch bytes visible ahead of the cursor, or all that remain.
  // Returns 0 or the source's error.
  ResultCode Refill() {
    return (filled_ - pos_ >= lzh::kMaxMatch || eof_) ? RESULT_OK : ReadMore();
  }

  // Bytes visible from the cursor on (0 once the input is used up).
  uint32_t lookahead() const { return filled_ - pos_; }
  const uint8_t* cursor() const { return window_.data() + pos_; }
  uint64_t bytes_read() const { return bytes_read_; }

  // Longest match at the cursor, length 0 if none reaches kMinMatch. Follows
  // at most `depth` chain links and stops early at `good_enough` bytes.
  Match FindLongest(uint32_t depth, uint32_t good_enough) const;

  // Matches at the cursor of strictly increasing length, each with the
  // nearest distance that reaches its length; returns how many were stored
  // (at most `capacity`, the last one the longest found).
  size_t FindAll(uint32_t depth, Match* out, size_t capacity) const;

  // Enters the cursor position into the chains and moves past it.
  void InsertAndAdvance() {
    if (filled_ - pos_ >= lzh::kMinMatch) Insert();
    ++pos_;
  }
  // Moves past `count` bytes without entering them; for fast parsing.
  void Advance(uint32_t count) { pos_ += count; }

 private:
  static constexpr uint32_t kHashBits = 16;
  static constexpr int32_t kNone = -1;

  uint32_t HashAt(uint32_t p) const {
    const uint8_t* b = window_.data() + p;
    const uint32_t v = uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16);
    return (v * 2654435761u) >> (32 - kHashBits);
  }
  void Insert() {
    const uint32_t h = HashAt(pos_);
    prev_[pos_ & (kHistory - 1)] = head_[h];
    head_[h] = static_cast<int32_t>(pos_);
  }
  uint32_t MatchLength(uint32_t candidate, uint32_t limit) const;
  ResultCode ReadMore();
  void Slide();

  ByteSource& in_;
  uint32_t max_distance_;
  std::vector<uint8_t> window_;
  std::vector<int32_t> head_;
  std::vector<int32_t> prev_;
  uint32_t pos_ = 0;
  uint32_t filled_ = 0;
  bool eof_ = false;
  uint64_t bytes_read_ = 0;
};

}  // namespace arjrt
