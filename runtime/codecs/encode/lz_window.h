// The input as the match finders see it: kHistory bytes behind the cursor
// and up to kMaxMatch ahead, read from the source in large chunks into a
// fixed buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/codecs/codec_io.h"
#include "runtime/codecs/encode/lzh_constants.h"
#include "runtime/codecs/encode/scratch.h"

namespace arjrt {

constexpr int32_t kNoPosition = -1;
// Bytes the window keeps readable past its data, for the hashes' whole-word loads.
constexpr uint32_t kWindowSlack = 8;

class LzWindow {
 public:
  static constexpr uint32_t kHistory = 32768;  // power of two above both formats' distances
  // A chunk and its history (packed_chunks.h) fit whole, so that the data
  // never moves and the finders' tables are never rebased; a longer input
  // moves down.
  static constexpr uint32_t kBufferBytes = 1u << 21;

  explicit LzWindow(ByteSource& in);

  // Makes kMaxMatch bytes visible ahead of the cursor, or all that remain.
  // Moving the data down to make room shifts every position by *shift, a
  // multiple of kHistory (0 when nothing moved). Returns 0 or the source's error.
  [[nodiscard]] ResultCode Refill(uint32_t* shift) {
    *shift = 0;
    return (filled_ - pos_ >= lzh::kMaxMatch || eof_) ? RESULT_OK : ReadMore(shift);
  }

  uint32_t pos() const { return pos_; }
  uint32_t lookahead() const { return filled_ - pos_; }
  const uint8_t* data() const { return buffer_.data(); }
  const uint8_t* cursor() const { return buffer_.data() + pos_; }
  uint64_t bytes_read() const { return bytes_read_; }
  void Advance(uint32_t count) { pos_ += count; }

  // Length of the common prefix of the cursor and `candidate` (an earlier
  // position), up to limit <= lookahead(); the first `start` bytes are known
  // to match.
  // Inline: the finders call it for every candidate they look at.
  uint32_t MatchLength(uint32_t candidate, uint32_t start, uint32_t limit) const {
    const uint8_t* a = buffer_.data() + candidate;
    const uint8_t* b = buffer_.data() + pos_;
    uint32_t n = start;
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

 private:
  [[nodiscard]] ResultCode ReadMore(uint32_t* shift);

  ByteSource& in_;
  ScratchArray<uint8_t> buffer_;
  uint32_t pos_ = 0;
  uint32_t filled_ = 0;
  bool eof_ = false;
  uint64_t bytes_read_ = 0;
};

// Moves stored positions down by `shift`; those that fall off become kNoPosition.
void RebasePositions(ScratchArray<int32_t>& positions, uint32_t shift);

inline uint32_t Hash4(const uint8_t* b, uint32_t bits) {
  uint32_t v;
  std::memcpy(&v, b, 4);
  return (v * 2654435761u) >> (32 - bits);
}

// Long prefixes: a chain of them reaches the long matches that sit far down
// the 4-byte chains of frequent words.
constexpr uint32_t kLongBytes = 12;
inline uint32_t HashLong(const uint8_t* b, uint32_t bits) {
  uint64_t x;
  uint32_t y;
  std::memcpy(&x, b, 8);
  std::memcpy(&y, b + 8, 4);
  return static_cast<uint32_t>(((x * 0x9E3779B97F4A7C15ull) ^ (uint64_t{y} * 0xC2B2AE3D27D4EB4Full)) >> (64 - bits));
}

// Reads a byte beyond its three, which the window's slack keeps in bounds.
inline uint32_t Hash3(const uint8_t* b, uint32_t bits) {
  uint32_t v;
  std::memcpy(&v, b, 4);
  return ((v & 0xFFFFFFu) * 2654435761u) >> (32 - bits);
}

}  // namespace arjrt
