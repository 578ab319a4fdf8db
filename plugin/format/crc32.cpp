#include "plugin/format/crc32.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define ARJ_CRC32_CLMUL 1
#include <immintrin.h>

namespace arjhost::format {
#endif

namespace {

static_assert(std::endian::native == std::endian::little, "the word loads below assume a little-endian machine");

inline uint32_t LoadWord32(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

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

// Advances the bare CRC register (no inversions) over `length` bytes.
uint32_t UpdateRegister(uint32_t crc, const uint8_t* p, size_t length) {
  const auto& t = kTables;
  while (length >= kSlices) {
    const uint32_t w0 = LoadWord32(p) ^ crc;
    const uint32_t w1 = LoadWord32(p + 4);
    const uint32_t w2 = LoadWord32(p + 8);
    const uint32_t w3 = LoadWord32(p + 12);
    crc = Fold32(t, 12, w0) ^ Fold32(t, 8, w1) ^ Fold32(t, 4, w2) ^ Fold32(t, 0, w3);
    p += kSlices;
    length -= kSlices;
  }
  while (length-- > 0) crc = (crc >> 8) ^ t[0][(crc ^ *p++) & 0xFFu];
  return crc;
}

#ifdef ARJ_CRC32_CLMUL

// x^n mod P in the reflected form the register uses (bit 31 - d holds x^d).
constexpr uint32_t XPowMod(unsigned n) {
  uint32_t r = 0x80000000u;
  for (unsigned i = 0; i < n; ++i) r = (r >> 1) ^ (kPolynomial & (0u - (r & 1u)));
  return r;
}

// Multiplier pair that moves a 128-bit lane `distance` bits further along
// the message: its low half is worth x^(64 + distance), its high half
// x^distance. Each is one less because the carry-less product of two
// reflected values comes out shifted by one degree.
struct FoldConstants {
  uint64_t low, high;
};
constexpr FoldConstants FoldBy(unsigned distance) {
  return {uint64_t{XPowMod(64 + distance - 1)} << 32, uint64_t{XPowMod(distance - 1)} << 32};
}
constexpr FoldConstants kFold512 = FoldBy(512);
constexpr FoldConstants kFold128 = FoldBy(128);
static_assert(kFold128.low == 0x65673B4600000000u && kFold128.high == 0x9BA54C6F00000000u);

constexpr size_t kClmulMinimum = 64;

__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i lane, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(lane, k, 0x00), _mm_clmulepi64_si128(lane, k, 0x11));
}

__attribute__((target("pclmul,sse2"))) inline __m128i Load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Carry-less multiplication folding: four 16-byte lanes run independently
// over 64-byte strides, then merge into one lane whose 16 bytes leave the
// same CRC register as the whole prefix, which the tables then finish.
// Requires length >= kClmulMinimum.
__attribute__((target("pclmul,sse2"))) uint32_t UpdateRegisterClmul(uint32_t crc,
                                                                     const uint8_t* p,
                                                                     size_t length) {
  const __m128i k512 = _mm_set_epi64x(static_cast<int64_t>(kFold512.high),
                                      static_cast<int64_t>(kFold512.low));
  const __m128i k128 = _mm_set_epi64x(static_cast<int64_t>(kFold128.high),
                                      static_cast<int64_t>(kFold128.low));
  __m128i r0 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i r1 = Load(p + 16);
  __m128i r2 = Load(p + 32);
  __m128i r3 = Load(p + 48);
  p += 64;
  length -= 64;
  while (length >= 64) {
    r0 = _mm_xor_si128(Fold(r0, k512), Load(p));
    r1 = _mm_xor_si128(Fold(r1, k512), Load(p + 16));
    r2 = _mm_xor_si128(Fold(r2, k512), Load(p + 32));
    r3 = _mm_xor_si128(Fold(r3, k512), Load(p + 48));
    p += 64;
    length -= 64;
  }
  __m128i lane = _mm_xor_si128(Fold(r0, k128), r1);
  lane = _mm_xor_si128(Fold(lane, k128), r2);
  lane = _mm_xor_si128(Fold(lane, k128), r3);
  while (length >= 16) {
    lane = _mm_xor_si128(Fold(lane, k128), Load(p));
    p += 16;
    length -= 16;
  }
  alignas(16) uint8_t folded[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(folded), lane);
  return UpdateRegister(UpdateRegister(0, folded, sizeof folded), p, length);
}

bool CpuHasClmul() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") != 0;
  }();
  return has;
}

#endif  // ARJ_CRC32_CLMUL

}  // namespace

uint32_t Crc32Update(size_t length, const void* buffer, uint32_t previous) {
  if (length == 0) return previous;
  const auto* p = static_cast<const uint8_t*>(buffer);
#ifdef ARJ_CRC32_CLMUL
  if (length >= kClmulMinimum && CpuHasClmul()) return ~UpdateRegisterClmul(~previous, p, length);
#endif
  return ~UpdateRegister(~previous, p, length);
}

namespace crc32_detail {

uint32_t Crc32Tables(size_t length, const void* buffer, uint32_t previous) {
  if (length == 0) return previous;
  return ~UpdateRegister(~previous, static_cast<const uint8_t*>(buffer), length);
}

bool UsesClmul() {
#ifdef ARJ_CRC32_CLMUL
  return CpuHasClmul();
#else
  return false;
#endif
}

}  // namespace crc32_detail

}  // namespace arjhost::format
