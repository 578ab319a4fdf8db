#include "runtime/common/crc32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace arjrt {
namespace {

// One bit at a time, straight from the definition.
uint32_t BitwiseCrc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
  }
  return ~crc;
}

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

using CrcFunction = uint32_t (*)(const void*, size_t, uint32_t);

// Crc32 itself, and the table path it falls back to where the processor
// lacks carry-less multiplication (and uses for short inputs everywhere).
class Crc32Paths : public ::testing::TestWithParam<CrcFunction> {};

INSTANTIATE_TEST_SUITE_P(Paths, Crc32Paths, ::testing::Values(&Crc32, &crc32_detail::Crc32Tables),
                         [](const auto& info) {
                           return info.param == &Crc32 ? std::string("Dispatching")
                                                       : std::string("Tables");
                         });

TEST_P(Crc32Paths, KnownValues) {
  const CrcFunction crc = GetParam();
  EXPECT_EQ(crc("123456789", 9, 0), 0xCBF43926u);
  EXPECT_EQ(crc("", 0, 0), 0u);
  EXPECT_EQ(crc(nullptr, 0, 0x12345678u), 0x12345678u);
  const std::vector<uint8_t> zeros(4096, 0);
  EXPECT_EQ(crc(zeros.data(), 32, 0), 0x190A55ADu);
  EXPECT_EQ(crc(zeros.data(), zeros.size(), 0), 0xC71C0011u);
}

// Every length from 0 to 300 at every start offset mod 16, so each loop,
// its byte tail and misaligned loads all meet the reference.
TEST_P(Crc32Paths, MatchesBitwiseReference) {
  const CrcFunction crc = GetParam();
  const std::vector<uint8_t> bytes = RandomBytes(300 + 16, 1);
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t size = 0; size <= 300; ++size) {
      ASSERT_EQ(crc(bytes.data() + offset, size, 0), BitwiseCrc32(bytes.data() + offset, size))
          << "offset " << offset << " size " << size;
    }
  }
  const std::vector<uint8_t> large = RandomBytes((1 << 20) + 77, 2);
  EXPECT_EQ(crc(large.data(), large.size(), 0), BitwiseCrc32(large.data(), large.size()));
}

TEST_P(Crc32Paths, ChainsAtEverySplit) {
  const CrcFunction crc = GetParam();
  const std::vector<uint8_t> bytes = RandomBytes(1000, 3);
  const uint32_t whole = BitwiseCrc32(bytes.data(), bytes.size());
  for (size_t split = 0; split <= bytes.size(); ++split) {
    const uint32_t first = crc(bytes.data(), split, 0);
    ASSERT_EQ(crc(bytes.data() + split, bytes.size() - split, first), whole)
        << "split at " << split;
  }
}

// Combining the CRCs of two pieces gives the CRC of the bytes joined, at
// every kind of length: empty pieces, under and over a word, and past
// the 64 KiB and 1 MiB marks.
TEST(Crc32Combine, MatchesTheCrcOfTheJoinedBytes) {
  const struct {
    size_t a, b;
  } cases[] = {{0, 0}, {0, 7}, {7, 0}, {1, 1}, {3, 4}, {4, 3}, {100, 1000}, {65536, 65537}, {1 << 20, 333}, {5, 1 << 20}};
  const std::vector<uint8_t> bytes = RandomBytes((1 << 20) + 65537 + 8, 4);
  for (const auto& c : cases) {
    const uint32_t crc_a = Crc32(bytes.data(), c.a);
    const uint32_t crc_b = Crc32(bytes.data() + c.a, c.b);
    EXPECT_EQ(Crc32Combine(crc_a, crc_b, c.b), Crc32(bytes.data(), c.a + c.b)) << c.a << " + " << c.b;
  }
  // Three parts, as a file split over three volumes.
  const uint32_t parts = Crc32Combine(Crc32Combine(Crc32(bytes.data(), 10), Crc32(bytes.data() + 10, 20), 20),
                                      Crc32(bytes.data() + 30, 40), 40);
  EXPECT_EQ(parts, Crc32(bytes.data(), 70));
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
