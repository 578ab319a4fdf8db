#include "runtime/common/crc32.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace arjrt {
namespace {

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

uint32_t Crc(const uint8_t* data, size_t size) { return arjhost::format::Crc32Update(size, data, 0); }

// Combining the CRCs of two pieces gives the CRC of the bytes joined, at
// every kind of length: empty pieces, under and over a word, and past
// the 64 KiB and 1 MiB marks.
TEST(Crc32Combine, MatchesTheCrcOfTheJoinedBytes) {
  const struct {
    size_t a, b;
  } cases[] = {{0, 0}, {0, 7}, {7, 0}, {1, 1}, {3, 4}, {4, 3}, {100, 1000}, {65536, 65537}, {1 << 20, 333}, {5, 1 << 20}};
  const std::vector<uint8_t> bytes = RandomBytes((1 << 20) + 65537 + 8, 4);
  for (const auto& c : cases) {
    const uint32_t crc_a = Crc(bytes.data(), c.a);
    const uint32_t crc_b = Crc(bytes.data() + c.a, c.b);
    EXPECT_EQ(Crc32Combine(crc_a, crc_b, c.b), Crc(bytes.data(), c.a + c.b)) << c.a << " + " << c.b;
  }
  // Three parts, as a file split over three volumes.
  const uint32_t parts = Crc32Combine(Crc32Combine(Crc(bytes.data(), 10), Crc(bytes.data() + 10, 20), 20),
                                      Crc(bytes.data() + 30, 40), 40);
  EXPECT_EQ(parts, Crc(bytes.data(), 70));
}

// Lengths past 4 GiB, too long to hash in a test: joining is associative,
// so each grouping of three pieces must agree.
TEST(Crc32Combine, LengthsPastFourGibibytesAssociate) {
  const uint64_t lengths[] = {uint64_t{1} << 32, (uint64_t{3} << 32) + 5, (uint64_t{1} << 63) + 12345};
  const uint32_t a = 0x12345678u, b = 0x9ABCDEF0u, c = 0x0F1E2D3Cu;
  for (uint64_t lb : lengths)
    for (uint64_t lc : {uint64_t{1}, uint64_t{0xFFFFFFFF}, uint64_t{1} << 40}) {
      EXPECT_EQ(Crc32Combine(Crc32Combine(a, b, lb), c, lc), Crc32Combine(a, Crc32Combine(b, c, lc), lb + lc))
          << lb << " " << lc;
    }
  EXPECT_EQ(Crc32Combine(a, 0, 0), a) << "nothing appended";
}

}  // namespace
}  // namespace arjrt
