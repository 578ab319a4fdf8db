// The block header of ARJ methods 1..3: the count of codes in the block,
// then the three prefix codes the block is decoded with.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/codecs/decode/bit_reader.h"
#include "runtime/codecs/decode/huffman_table.h"
#include "runtime/codecs/decode/lz_limits.h"

namespace arjrt {

namespace lzh {

inline constexpr size_t kLiteralCount = 256;
// Literals, then one symbol per match length.
inline constexpr size_t kCodeSymbols = kLiteralCount + kArjMaxMatch - kArjMinMatch + 1;  // 510
// Symbol k > 1 of the position code carries k - 1 extra bits: the
// distance is 2^(k-1) + 1 + their value. Symbols 0 and 1 are distances 1 and 2.
inline constexpr size_t kPositionSymbols = 17;
inline constexpr uint8_t kPositionExtraBits[kPositionSymbols] = {0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
inline constexpr uint32_t kPositionBase[kPositionSymbols] = {
    1, 2, 3, 5, 9, 17, 33, 65, 129, 257, 513, 1025, 2049, 4097, 8193, 16385, 32769};
static_assert([] {
  for (unsigned k = 0; k < kPositionSymbols; ++k) {
    if (kPositionExtraBits[k] != (k > 1 ? k - 1 : 0) || kPositionExtraBits[k] > huffman::kMaxExtraBits) return false;
    if (kPositionBase[k] != (k == 0 ? 1 : (uint32_t{1} << (k - 1)) + 1)) return false;
  }
  return true;
}());
// Code lengths 0..16 plus three kinds of zero runs.
inline constexpr size_t kPreSymbols = 19;

}  // namespace lzh

struct LzhBlockTables {
  // Literal/length codes are the bulk of the stream and get the widest table.
  HuffmanTable<lzh::kCodeSymbols, 12> codes;
  // Each position entry takes the symbol's extra bits with its code.
  HuffmanTable<lzh::kPositionSymbols, 10, lzh::kPositionExtraBits> positions;
  HuffmanTable<lzh::kPreSymbols, 8> pre;
  uint8_t lengths[lzh::kCodeSymbols];

  // Reads a block header and builds the tables; `*code_count` receives the
  // number of codes in the block. Returns false on a read failure (see
  // InputBuffer::Status()) with `*corrupt` false, or on impossible code
  // lengths with `*corrupt` true.
  bool ReadHeader(BitReader& bits, uint32_t* code_count, bool* corrupt);

 private:
  bool ReadCodeLengths(BitReader& bits, bool* corrupt);
};

}  // namespace arjrt
