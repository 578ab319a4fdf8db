#include "runtime/common/crc32.h"

#include <array>

#include "runtime/common/byte_order.h"

namespace arjrt {

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;
constexpr size_t kSlices = 16;

using CrcTables = std::array<std::array<uint32_t, 256>, kSlices>;

// tables[k][b]: the CRC register after feeding byte b followed by k zero
// bytes into a zero register. Slicing folds 16 input bytes per step by
// looking each byte up in the table for its distance from the end.
constexpr CrcTables MakeTables() {
  CrcTables tables{};
  for (uint32_t b = 0; b < 256; ++b) {
    uint32_t crc = b;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (kPolynomial & (0u - (crc & 1u)));
    tables[0][b] = crc;
  }
  for (size_t k = 1; k < kSlices; ++k) {
    for (size_t b = 0; b < 256; ++b) {
      const uint32_t prev = tables[k - 1][b];
      tables[k][b] = (prev >> 8) ^ tables[0][prev & 0xFFu];
    }
  }
  return tables;
}

constexpr CrcTables kTables = MakeTables();

static_assert(kTables[0][1] == 0x77073096u, "first entry of the IEEE table");

// Folds four consecutive input bytes held in `word` (first byte lowest);
// `last` is the number of input bytes that follow the word's last byte.
inline uint32_t Fold32(const CrcTables& t, size_t last, uint32_t word) {
  return t[last + 3][word & 0xFFu] ^ t[last + 2][(word >> 8) & 0xFFu] ^
         t[last + 1][(word >> 16) & 0xFFu] ^ t[last][word >> 24];
}

}  // namespace

uint32_t Crc32(const void* data, size_t length, uint32_t previous) {
  if (length == 0) return previous;
  uint32_t crc = ~previous;
  const auto* p = static_cast<const uint8_t*>(data);
  const auto& t = kTables;

  while (length >= kSlices) {
    const uint32_t w0 = LoadLittle32(p) ^ crc;
    const uint32_t w1 = LoadLittle32(p + 4);
    const uint32_t w2 = LoadLittle32(p + 8);
    const uint32_t w3 = LoadLittle32(p + 12);
    crc = Fold32(t, 12, w0) ^ Fold32(t, 8, w1) ^ Fold32(t, 4, w2) ^ Fold32(t, 0, w3);
    p += kSlices;
    length -= kSlices;
  }
  while (length-- > 0) crc = (crc >> 8) ^ t[0][(crc ^ *p++) & 0xFFu];
  return ~crc;
}

}  // namespace arjrt
