#include "runtime/codecs/encode/bit_joiner.h"

#include <algorithm>
#include <cstring>

namespace arjrt {
namespace {
constexpr size_t kShiftBuffer = 64 * 1024;
// Words are loaded from memory and byte-swapped into stream order.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the word shifts assume a little-endian host");
}  // namespace

ResultCode BitJoiner::Write(const uint8_t* data, size_t size) {
  if (size == 0) return RESULT_OK;
  const ResultCode r = out_.Write(data, size);
  if (!Failed(r)) written_ += size;
  return r;
}

ResultCode BitJoiner::Append(const PackedChunk& chunk) {
  const size_t whole = static_cast<size_t>(chunk.bits / 8);
  const uint32_t tail = static_cast<uint32_t>(chunk.bits % 8);
  if (whole + (tail != 0 ? 1 : 0) > chunk.bytes.size()) return ERR_BAD_PARAMETER;
  ResultCode r = RESULT_OK;
  const uint32_t shift = partial_bits_;
  if (shift == 0) {
    r = Write(chunk.bytes.data(), whole);
  } else {
    shifted_.resize(kShiftBuffer);
    for (size_t at = 0; at < whole && !Failed(r);) {
      const size_t n = std::min(whole - at, kShiftBuffer);
      const uint8_t* in = chunk.bytes.data() + at;
      size_t i = 0;
      // Eight bytes a step, as one big-endian word.
      for (; i + 8 <= n; i += 8) {
        uint64_t word;
        std::memcpy(&word, in + i, 8);
        word = __builtin_bswap64(word);
        const uint64_t out = __builtin_bswap64((uint64_t{partial_} << 56) | (word >> shift));
        std::memcpy(&shifted_[i], &out, 8);
        partial_ = static_cast<uint8_t>(word << (8 - shift));
      }
      for (; i < n; ++i) {
        shifted_[i] = static_cast<uint8_t>(partial_ | (in[i] >> shift));
        partial_ = static_cast<uint8_t>(in[i] << (8 - shift));
      }
      r = Write(shifted_.data(), n);
      at += n;
    }
  }
  if (Failed(r) || tail == 0) return r;
  const uint8_t last = static_cast<uint8_t>(chunk.bytes[whole] & (0xFF00u >> tail));
  if (shift + tail < 8) {
    partial_ = static_cast<uint8_t>(partial_ | (last >> shift));
    partial_bits_ = shift + tail;
    return RESULT_OK;
  }
  const uint8_t full = static_cast<uint8_t>(partial_ | (last >> shift));
  partial_ = static_cast<uint8_t>(last << (8 - shift));
  partial_bits_ = shift + tail - 8;
  return Write(&full, 1);
}

ResultCode BitJoiner::Finish() {
  if (partial_bits_ == 0) return RESULT_OK;
  const uint8_t last = partial_;
  partial_ = 0;
  partial_bits_ = 0;
  return Write(&last, 1);
}

}  // namespace arjrt
