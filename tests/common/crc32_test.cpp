#include "runtime/common/crc32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
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

TEST(Crc32, KnownValues) {
  EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32("", 0), 0u);
  EXPECT_EQ(Crc32(nullptr, 0, 0x12345678u), 0x12345678u);
  const uint8_t zeros[32] = {};
  EXPECT_EQ(Crc32(zeros, 32), 0x190A55ADu);
}

// Every length from 0 to 300 at every start offset mod 16, so the sliced
// loop, the byte tail and misaligned loads all meet the reference.
TEST(Crc32, MatchesBitwiseReference) {
  const std::vector<uint8_t> bytes = RandomBytes(300 + 16, 1);
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t size = 0; size <= 300; ++size) {
      ASSERT_EQ(Crc32(bytes.data() + offset, size), BitwiseCrc32(bytes.data() + offset, size))
          << "offset " << offset << " size " << size;
    }
  }
  const std::vector<uint8_t> large = RandomBytes(1 << 20, 2);
  EXPECT_EQ(Crc32(large.data(), large.size()), BitwiseCrc32(large.data(), large.size()));
}

TEST(Crc32, ChainsAtEverySplit) {
  const std::vector<uint8_t> bytes = RandomBytes(1000, 3);
  const uint32_t whole = BitwiseCrc32(bytes.data(), bytes.size());
  for (size_t split = 0; split <= bytes.size(); ++split) {
    const uint32_t first = Crc32(bytes.data(), split);
    ASSERT_EQ(Crc32(bytes.data() + split, bytes.size() - split, first), whole)
        << "split at " << split;
  }
}

}  // namespace
}  // namespace arjrt
