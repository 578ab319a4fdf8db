// Length-limited Huffman codes in the canonical form ARJ decoders rebuild
// from the code lengths alone.
#pragma once

#include <cstddef>
#include <cstdint>

namespace arjrt {

// Largest alphabet any ARJ tree uses (the char/length tree).
constexpr size_t kMaxHuffmanSymbols = 510;

// Sets lengths[0..count) from the frequencies: 0 for unused symbols, else at
// most max_bits (<= 16), forming a complete code whenever two or more symbols
// are used. With a single used symbol every length stays 0: the trees carry
// that case in a short form whose symbol costs no bits. Returns the number of
// used symbols. count must not exceed kMaxHuffmanSymbols.
size_t BuildCodeLengths(const uint32_t* freq, size_t count, uint32_t max_bits, uint8_t* lengths);

// Assigns codes from lengths: shorter codes first, equal lengths in symbol
// order. Unused symbols get code 0.
void AssignCanonicalCodes(const uint8_t* lengths, size_t count, uint16_t* codes);

}  // namespace arjrt
