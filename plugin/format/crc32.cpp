#include "plugin/format/crc32.h"

#include <array>
#include <bit>
#include <cstring>

namespace {

// Eight tables: table[k][b] is the register after feeding byte b followed by
// k zero bytes, which lets the loop below consume eight bytes per step.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables MakeTables() {
  CrcTables t{};
  for (uint32_t b = 0; b < 256; ++b) {
    uint32_t r = b;
    for (int bit = 0; bit < 8; ++bit) r = (r >> 1) ^ (0xEDB88320u & (0u - (r & 1u)));
    t[0][b] = r;
  }
  for (int k = 1; k < 8; ++k)
    for (uint32_t b = 0; b < 256; ++b) t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFFu];
  return t;
}

constexpr CrcTables kTables = MakeTables();

static_assert(std::endian::native == std::endian::little, "the word loads below assume a little-endian machine");

}  // namespace

uint32_t Crc32Update(size_t length, const void* buffer, uint32_t previous) {
  const auto* p = static_cast<const uint8_t*>(buffer);
  uint32_t r = ~previous;
  for (; length >= 8; length -= 8, p += 8) {
    uint32_t lo, hi;
    std::memcpy(&lo, p, 4);
    std::memcpy(&hi, p + 4, 4);
    lo ^= r;
    r = kTables[7][lo & 0xFFu] ^ kTables[6][(lo >> 8) & 0xFFu] ^ kTables[5][(lo >> 16) & 0xFFu] ^
        kTables[4][lo >> 24] ^ kTables[3][hi & 0xFFu] ^ kTables[2][(hi >> 8) & 0xFFu] ^
        kTables[1][(hi >> 16) & 0xFFu] ^ kTables[0][hi >> 24];
  }
  for (; length > 0; --length) r = (r >> 8) ^ kTables[0][(r ^ *p++) & 0xFFu];
  return ~r;
}
