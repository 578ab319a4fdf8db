#include "runtime/codecs/decode/lzh_block_header.h"

#include <bit>
#include <cstring>

namespace arjrt {

namespace {

constexpr unsigned kCountBits = 16;
constexpr unsigned kPreCountBits = 5;
constexpr unsigned kPositionCountBits = 5;
constexpr unsigned kCodeCountBits = 9;
// After the third pre-code length, two bits give a run of zero lengths.
constexpr size_t kPreSkipPoint = 3;
constexpr size_t kNoSkip = SIZE_MAX;

bool MarkCorrupt(bool* corrupt) {
  *corrupt = true;
  return false;
}

// Lengths of the pre-code or of the position code: 3 bits each, 7 meaning
// "7 plus the count of 1 bits that follow, ended by a 0". A count of 0 is
// followed by the one symbol of a code that takes no bits.
template <size_t kSymbols, unsigned kPrimaryBits, const uint8_t* kExtraBits>
bool ReadShortLengths(BitReader& bits, HuffmanTable<kSymbols, kPrimaryBits, kExtraBits>& table, unsigned count_bits,
                      size_t skip_after, bool* corrupt) {
  if (!bits.Refill()) return false;
  const size_t n = bits.Take(count_bits);
  if (n == 0) {
    const uint32_t only = bits.Take(count_bits);
    if (only >= kSymbols) return MarkCorrupt(corrupt);
    table.SetSingle(static_cast<uint16_t>(only));
    return true;
  }
  if (n > kSymbols) return MarkCorrupt(corrupt);
  uint8_t lengths[kSymbols] = {};
  size_t i = 0;
  while (i < n) {
    if (!bits.Refill()) return false;
    unsigned len = bits.Peek(3);
    if (len == 7) {
      const auto ones = static_cast<unsigned>(std::countl_one(bits.Window() << 3));
      if (len + ones > huffman::kMaxCodeLength) return MarkCorrupt(corrupt);
      len += ones;
      bits.Skip(3 + ones + 1);
    } else {
      bits.Skip(3);
    }
    lengths[i++] = static_cast<uint8_t>(len);
    if (i == skip_after) {
      const size_t zeros = bits.Take(2);
      if (i + zeros > kSymbols) return MarkCorrupt(corrupt);
      i += zeros;  // already zero
    }
  }
  return table.Build(lengths) || MarkCorrupt(corrupt);
}

}  // namespace

bool LzhBlockTables::ReadHeader(BitReader& bits, uint32_t* code_count, bool* corrupt) {
  *corrupt = false;
  if (!bits.Refill()) return false;
  *code_count = bits.Take(kCountBits);
  // A count of 0 stands for 65536 codes, as with the original 16-bit counter.
  if (*code_count == 0) *code_count = 0x10000;
  return ReadShortLengths(bits, pre, kPreCountBits, kPreSkipPoint, corrupt) &&
         ReadCodeLengths(bits, corrupt) &&
         ReadShortLengths(bits, positions, kPositionCountBits, kNoSkip, corrupt);
}

// Lengths of the literal/length code, each coded with the pre-code:
// symbols 0..2 are runs of zero lengths, k >= 3 is length k - 2.
bool LzhBlockTables::ReadCodeLengths(BitReader& bits, bool* corrupt) {
  if (!bits.Refill()) return false;
  const size_t n = bits.Take(kCodeCountBits);
  if (n == 0) {
    const uint32_t only = bits.Take(kCodeCountBits);
    if (only >= lzh::kCodeSymbols) return MarkCorrupt(corrupt);
    codes.SetSingle(static_cast<uint16_t>(only));
    return true;
  }
  if (n > lzh::kCodeSymbols) return MarkCorrupt(corrupt);
  std::memset(lengths, 0, sizeof lengths);
  size_t i = 0;
  while (i < n) {
    if (!bits.Refill()) return false;
    const uint16_t e = pre.Lookup(bits.Window());
    bits.Skip(pre.Taken(e));
    const unsigned symbol = pre.Symbol(e);
    if (symbol > 2) {
      lengths[i++] = static_cast<uint8_t>(symbol - 2);
      continue;
    }
    size_t zeros = 1;
    if (symbol == 1) zeros = bits.Take(4) + 3;
    else if (symbol == 2) zeros = bits.Take(kCodeCountBits) + 20;
    if (i + zeros > lzh::kCodeSymbols) return MarkCorrupt(corrupt);
    i += zeros;  // already zero
  }
  return codes.Build(lengths) || MarkCorrupt(corrupt);
}

}  // namespace arjrt
