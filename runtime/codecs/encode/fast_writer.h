// Method 4 ("fast"): literals and copies in unary-prefixed variable-width
// codes, no Huffman trees.
#pragma once

#include <cstdint>

#include "runtime/codecs/encode/bit_writer.h"
#include "runtime/codecs/encode/lzh_constants.h"

namespace arjrt {

class FastWriter {
 public:
  explicit FastWriter(BitWriter& bits) : bits_(bits) {}

  bool ok() const { return !Failed(bits_.status()); }

  // Length code 0 (one zero bit), then the byte.
  void Literal(uint8_t byte) { bits_.Put(9, byte); }

  // length kMinMatch..kMaxMatch, distance 1..kFastMaxDistance.
  void Copy(uint32_t length, uint32_t distance) {
    // Length code n = length - 2 lies in class k when 2^k - 1 <= n < 2^(k+1) - 1.
    const uint32_t n = length - (lzh::kMinMatch - 1);
    const uint32_t k = 31 - static_cast<uint32_t>(__builtin_clz(n + 1));
    PutClass(k, lzh::kFastMaxLengthBits);
    bits_.Put(k, n - ((1u << k) - 1));
    // Pointer class k spans 2^(9+k) - 2^9 .. 2^(10+k) - 2^9 - 1, width 9 + k.
    const uint32_t ptr = distance - 1;
    const uint32_t kp = 31 - static_cast<uint32_t>(__builtin_clz((ptr >> lzh::kFastMinPointerBits) + 1));
    const uint32_t width = lzh::kFastMinPointerBits + kp;
    PutClass(kp, lzh::kFastMaxPointerBits - lzh::kFastMinPointerBits);
    bits_.Put(width, ptr - ((1u << width) - (1u << lzh::kFastMinPointerBits)));
  }

 private:
  // k one bits, closed by a zero unless k is the widest class.
  void PutClass(uint32_t k, uint32_t widest) {
    if (k < widest) {
      bits_.Put(k + 1, ((1u << k) - 1) << 1);
    } else {
      bits_.Put(k, (1u << k) - 1);
    }
  }

  BitWriter& bits_;
};

}  // namespace arjrt
