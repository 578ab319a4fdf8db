// MSB-first bit reader over an InputBuffer. Meant to live in a local
// variable of a decoding loop so its fields stay in registers; only the
// rare reload of the input buffer leaves the inlined code.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "runtime/codecs/decode/input_buffer.h"

namespace arjrt {

class BitReader {
 public:
  // After a successful Refill() at least this many bits can be peeked.
  static constexpr unsigned kRefillBits = 56;

  explicit BitReader(InputBuffer& input) : input_(&input) {}

  // Fetches the first chunk; call once before anything else.
  [[nodiscard]] bool Start() {
    next_ = input_->Reload(input_->Data());
    if (next_ == nullptr) return false;
    limit_ = input_->Limit();
    return true;
  }

  // Tops the bit buffer up to 56..63 bits. Returns false when the input
  // failed or ran out well past its end (see InputBuffer::Status()).
  [[nodiscard]] bool Refill() {
    if (next_ > limit_) [[unlikely]] {
      next_ = input_->Reload(next_);
      if (next_ == nullptr) return false;
      limit_ = input_->Limit();
    }
    uint64_t word;
    std::memcpy(&word, next_, sizeof word);
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
    // Bits past `count_` already hold the same stream bits, so OR is safe.
    bits_ |= word >> count_;
    next_ += (63 - count_) >> 3;
    count_ |= 56;
    return true;
  }

  // The first input byte none of whose bits has been taken: the bits in
  // the buffer are the last ones loaded, and whole bytes of them are unread.
  const uint8_t* FirstUnused() const { return next_ - count_ / 8; }

  // The next `n` bits (1..32) without consuming them.
  uint32_t Peek(unsigned n) const { return static_cast<uint32_t>(bits_ >> (64 - n)); }
  // The next `n` bits (0..32) without consuming them.
  uint32_t PeekUpTo(unsigned n) const { return static_cast<uint32_t>((bits_ >> 1) >> (63 - n)); }
  // The whole buffer, next bit in the top position.
  uint64_t Window() const { return bits_; }
  // Bits that can be peeked without a refill.
  unsigned Available() const { return count_; }
  // The next Refill() must reload the input (and may fail). A loop that
  // skips refills tests this so that it stops for a short input as soon
  // as a refill before every code would have.
  bool ReloadDue() const { return next_ > limit_; }

  void Skip(unsigned n) {
    bits_ <<= n;
    count_ -= n;
  }
  // Reads `n` bits (0..32); the caller has refilled enough for them.
  uint32_t Take(unsigned n) {
    const uint32_t v = PeekUpTo(n);
    Skip(n);
    return v;
  }

 private:
  InputBuffer* input_;
  const uint8_t* next_ = nullptr;
  const uint8_t* limit_ = nullptr;
  uint64_t bits_ = 0;
  unsigned count_ = 0;
};

}  // namespace arjrt
