// The three Huffman trees of one methods 1..3 block, built from the block's
// symbol frequencies, with the exact bit cost of the block they code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "runtime/codecs/encode/bit_writer.h"
#include "runtime/codecs/encode/lzh_constants.h"

namespace arjrt {

// Position tree symbol of a match pointer (distance - 1): its bit length.
inline uint32_t PositionSlot(uint32_t pointer) {
  return pointer == 0 ? 0 : 32 - static_cast<uint32_t>(__builtin_clz(pointer));
}
// Extra bits after a position symbol.
inline uint32_t PositionExtraBits(uint32_t slot) { return slot > 1 ? slot - 1 : 0; }

struct LzhFrequencies {
  std::array<uint32_t, lzh::kCharCodes> chars{};
  std::array<uint32_t, lzh::kPositionCodes> positions{};

  void Add(const LzhFrequencies& other);
};

class LzhBlockTrees {
 public:
  explicit LzhBlockTrees(const LzhFrequencies& freq);

  // Bits of the header after the 16-bit code count: the three trees.
  uint64_t TreeBits() const { return tree_bits_; }
  // Bits of the codes themselves, extra position bits included.
  uint64_t CodeBits(const LzhFrequencies& freq) const;

  void WriteTrees(BitWriter& bits) const;
  void WriteCode(BitWriter& bits, uint16_t code, uint16_t pointer) const {
    bits.Put(char_len_[code], char_code_[code]);
    if (code >= 256) {
      const uint32_t slot = PositionSlot(pointer);
      bits.Put(pos_len_[slot], pos_code_[slot]);
      const uint32_t extra = PositionExtraBits(slot);
      if (extra != 0) bits.Put(extra, pointer - (1u << extra));
    }
  }

  const std::array<uint8_t, lzh::kCharCodes>& char_lengths() const { return char_len_; }
  const std::array<uint8_t, lzh::kPositionCodes>& position_lengths() const { return pos_len_; }

 private:
  // One pre-tree symbol describing char tree lengths, with its extra bits.
  struct PreItem {
    uint8_t symbol;
    uint8_t extra_bits;
    uint16_t extra;
  };

  template <class Out>
  void EmitTrees(Out& out) const;

  std::array<uint8_t, lzh::kCharCodes> char_len_{};
  std::array<uint16_t, lzh::kCharCodes> char_code_{};
  std::array<uint8_t, lzh::kPositionCodes> pos_len_{};
  std::array<uint16_t, lzh::kPositionCodes> pos_code_{};
  std::array<uint8_t, lzh::kPreCodes> pre_len_{};
  std::array<uint16_t, lzh::kPreCodes> pre_code_{};
  std::array<PreItem, lzh::kCharCodes> items_{};
  size_t item_count_ = 0;
  size_t char_count_ = 0;  // char tree lengths sent (trailing zeros cut)
  uint32_t single_char_ = 0;      // valid when chars_used_ < 2
  uint32_t single_pre_ = 0;       // valid when pre_used_ < 2
  uint32_t single_position_ = 0;  // valid when positions_used_ < 2
  size_t chars_used_ = 0;
  size_t pre_used_ = 0;
  size_t positions_used_ = 0;
  uint64_t tree_bits_ = 0;
};

}  // namespace arjrt
