// Most-significant-bit-first bit stream, as both ARJ compressed formats use,
// buffered in front of a ByteSink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include "runtime/codecs/codec_io.h"
#include "runtime/codecs/encode/scratch.h"

namespace arjrt {

class BitWriter {
 public:
  explicit BitWriter(ByteSink& sink);

  // Appends the low `count` bits of `bits` (count <= 24), high bit first.
  // After a failed write everything further is dropped.
  void Put(uint32_t count, uint32_t bits) {
    acc_ = (acc_ << count) | (bits & ((1u << count) - 1u));
    pending_ += count;
    // Four bytes at a time: the buffer's size is a multiple of four.
    if (pending_ >= 32) {
      pending_ -= 32;
      const uint32_t word = __builtin_bswap32(static_cast<uint32_t>(acc_ >> pending_));
      std::memcpy(buffer_.data() + used_, &word, 4);
      used_ += 4;
      if (used_ == buffer_.size()) Drain();
    }
  }

  // Pads the last byte with zero bits and writes out everything buffered.
  [[nodiscard]] ResultCode Finish();

  [[nodiscard]] ResultCode status() const { return status_; }
  // Bits put but not yet a whole byte (0..7): Finish pads them.
  uint32_t pending_bits() const { return pending_ % 8; }
  // Bytes handed to the sink and accepted by it.
  uint64_t bytes_written() const { return written_; }

 private:
  void Drain();

  ByteSink& sink_;
  ScratchArray<uint8_t> buffer_;
  size_t used_ = 0;
  uint64_t acc_ = 0;
  uint32_t pending_ = 0;  // bits in acc_ not yet in the buffer, below 32
  ResultCode status_ = RESULT_OK;
  uint64_t written_ = 0;
};

}  // namespace arjrt
