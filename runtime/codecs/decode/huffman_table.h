// Table-driven decoding of the canonical prefix codes of ARJ methods 1..3
// (codes up to 16 bits, shorter codes first, equal lengths in symbol order).
// A primary table indexed by the next few bits resolves most codes at
// once; a longer code's primary entry points at a secondary table for the
// rest of its bits.
#pragma once

#include <cstddef>
#include <cstdint>

namespace arjrt {

namespace huffman {

inline constexpr unsigned kMaxCodeLength = 16;
inline constexpr size_t kMaxSymbols = 512;
// Bits a symbol may carry after its code (a match position's low bits).
inline constexpr unsigned kMaxExtraBits = 15;

// Entry: in bits 0..4 the bits to take for it (its code, then its extra
// bits), in bits 8..15 the low byte of its symbol, and kHighSymbol for
// symbols from 256 on: a literal of the LZ code is then one test away, and
// its byte one shift. With kLinkFlag set, bits 7..15 instead number the
// secondary table.
inline constexpr uint16_t kTakenMask = 0x1F;
inline constexpr uint16_t kHighSymbol = 0x20;
inline constexpr uint16_t kLinkFlag = 0x40;
inline constexpr unsigned kLinkShift = 7;
inline constexpr unsigned kByteShift = 8;
static_assert(kMaxCodeLength + kMaxExtraBits <= kTakenMask);
static_assert(kMaxSymbols <= size_t{1} << (16 - kLinkShift), "a table per symbol at most");

inline constexpr uint16_t MakeEntry(unsigned symbol, unsigned taken) {
  return static_cast<uint16_t>((symbol & 0xFF) << kByteShift | (symbol >= 256 ? kHighSymbol : 0) | taken);
}

// Fills `primary` (2^primary_bits entries, 1 <= primary_bits <= 15) and
// `secondary` (room for `secondary_size` entries) from code lengths
// (0 = symbol unused, at most kMaxSymbols of them) and, unless null, the
// extra bits of each symbol (at most kMaxExtraBits each). Returns false unless
// the lengths form a complete prefix code, the only kind the ARJ encoder
// writes.
bool BuildTables(const uint8_t* lengths, const uint8_t* extra_bits, size_t count, unsigned primary_bits,
                 uint16_t* primary, uint16_t* secondary, size_t secondary_size);

}  // namespace huffman

// Wider primary tables decode more codes in one step but cost more to
// fill for every block. `kExtraBits`, unless null, gives the bits each
// symbol carries after its code, taken with it.
template <size_t kSymbols, unsigned kPrimaryBits, const uint8_t* kExtraBits = nullptr>
class HuffmanTable {
  static_assert(kSymbols <= huffman::kMaxSymbols);
  static_assert(kPrimaryBits >= 1 && kPrimaryBits < huffman::kMaxCodeLength);

 public:
  bool Build(const uint8_t* lengths) {
    return huffman::BuildTables(lengths, kExtraBits, kSymbols, kPrimaryBits, primary_, secondary_, kSecondarySize);
  }

  // A code of one symbol that takes no bits. `symbol` < kSymbols.
  void SetSingle(uint16_t symbol) {
    const uint16_t entry = huffman::MakeEntry(symbol, kExtraBits != nullptr ? kExtraBits[symbol] : 0);
    for (uint16_t& e : primary_) e = entry;
  }

  // Decodes the symbol at the top of `window`; returns the entry whose
  // Taken() bits the caller must then skip.
  uint16_t Lookup(uint64_t window) const {
    uint16_t e = primary_[window >> (64 - kPrimaryBits)];
    if (e & huffman::kLinkFlag) [[unlikely]] {
      const size_t low = (window >> (64 - huffman::kMaxCodeLength)) & ((size_t{1} << kSecondaryBits) - 1);
      e = secondary_[(size_t{e} >> huffman::kLinkShift << kSecondaryBits) + low];
    }
    return e;
  }

  static unsigned Symbol(uint16_t entry) {
    return static_cast<unsigned>(entry >> huffman::kByteShift | (entry & huffman::kHighSymbol) << 3);
  }
  // Whether the symbol is below 256, and its value then.
  static bool IsByte(uint16_t entry) { return (entry & huffman::kHighSymbol) == 0; }
  static uint8_t Byte(uint16_t entry) { return static_cast<uint8_t>(entry >> huffman::kByteShift); }
  // The code's bits and its extra bits, which end the span.
  static unsigned Taken(uint16_t entry) { return entry & huffman::kTakenMask; }

 private:
  static constexpr unsigned kSecondaryBits = huffman::kMaxCodeLength - kPrimaryBits;
  // Each code longer than the primary width can start its own table.
  static constexpr size_t kSecondarySize = kSymbols << kSecondaryBits;

  uint16_t primary_[size_t{1} << kPrimaryBits] = {};
  uint16_t secondary_[kSecondarySize] = {};
};

}  // namespace arjrt
