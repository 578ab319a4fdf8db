// Joining two CRCs. The register is linear over GF(2): the CRC of a then b
// is the CRC of b xor the CRC of a moved past len(b) zero bytes (the preset
// and final inversions cancel out), and moving a register past n zero bytes
// is multiplying it by x^(8n) modulo the polynomial. So the work is
// logarithmic in the length, not linear.
#include "runtime/common/crc32.h"

namespace arjrt {
namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;
// Reflected: bit 31 holds the coefficient of x^0, bit 0 that of x^31.
constexpr uint32_t kOne = 0x80000000u;
constexpr uint32_t kXToThe8 = kOne >> 8;

// a * b modulo the polynomial.
uint32_t MultiplyModPolynomial(uint32_t a, uint32_t b) {
  uint32_t product = 0;
  for (uint32_t bit = kOne; bit != 0; bit >>= 1) {
    if (a & bit) product ^= b;
    b = (b >> 1) ^ (kPolynomial & (0u - (b & 1u)));  // b *= x
  }
  return product;
}

// x^(8n) modulo the polynomial, by squaring x^8 along the bits of n.
uint32_t ZeroBytesFactor(uint64_t n) {
  uint32_t factor = kOne;
  for (uint32_t square = kXToThe8; n != 0; n >>= 1) {
    if (n & 1u) factor = MultiplyModPolynomial(factor, square);
    square = MultiplyModPolynomial(square, square);
  }
  return factor;
}

}  // namespace

uint32_t Crc32Combine(uint32_t crc_a, uint32_t crc_b, uint64_t length_b) {
  return MultiplyModPolynomial(crc_a, ZeroBytesFactor(length_b)) ^ crc_b;
}

}  // namespace arjrt
