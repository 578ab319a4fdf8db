// Collects literals and matches of methods 1..3 and writes them as blocks:
// a 16-bit code count, the pre-tree, the char/length tree, the position tree,
// then the codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/codecs/encode/bit_writer.h"
#include "runtime/codecs/encode/lzh_constants.h"

namespace arjrt {

// Position tree symbol of a match pointer (distance - 1): its bit length.
inline uint32_t PositionSlot(uint32_t pointer) {
  return pointer == 0 ? 0 : 32 - static_cast<uint32_t>(__builtin_clz(pointer));
}

class LzhBlockWriter {
 public:
  // block_codes (1..kMaxBlockCodes) bounds the codes per block.
  LzhBlockWriter(BitWriter& bits, size_t block_codes);

  void Literal(uint8_t byte) { Add(byte, 0); }
  // length kMinMatch..kMaxMatch, distance 1..kMaxDistance.
  void Copy(uint32_t length, uint32_t distance) {
    Add(static_cast<uint16_t>(length - lzh::kMinMatch + 256), static_cast<uint16_t>(distance - 1));
  }
  // Writes what is collected as one block (nothing if empty).
  void Flush();

  bool ok() const { return !Failed(bits_.status()); }
  size_t pending() const { return count_; }

 private:
  void Add(uint16_t code, uint16_t pointer) {
    codes_[count_] = code;
    pointers_[count_] = pointer;
    if (++count_ == codes_.size()) Flush();
  }
  void WriteBlock();

  BitWriter& bits_;
  std::vector<uint16_t> codes_;
  std::vector<uint16_t> pointers_;
  size_t count_ = 0;
};

}  // namespace arjrt
