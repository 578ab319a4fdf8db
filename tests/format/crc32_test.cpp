#include "plugin/format/crc32.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// The CRC as the format defines it: bit by bit, no table.
uint32_t BitwiseCrc(const std::vector<uint8_t>& data) {
  uint32_t r = 0xFFFFFFFFu;
  for (uint8_t byte : data)
    for (int bit = 0; bit < 8; ++bit) {
      bool differ = ((r ^ (byte >> bit)) & 1u) != 0;
      r >>= 1;
      if (differ) r ^= 0xEDB88320u;
    }
  return ~r;
}

TEST(Crc32, CheckValueAndEmptyInput) {
  EXPECT_EQ(Crc32Update(9, "123456789", 0), 0xCBF43926u);
  EXPECT_EQ(Crc32Update(0, nullptr, 0x12345678u), 0x12345678u);
  EXPECT_EQ(Crc32Update(0, "", 0), 0u);
}

TEST(Crc32, EqualsBitwiseDefinitionAndChainsAtEverySplit) {
  std::mt19937 rng(7);
  std::vector<uint8_t> data(300);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  for (size_t length : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 300u}) {
    std::vector<uint8_t> part(data.begin(), data.begin() + length);
    ASSERT_EQ(Crc32Update(length, part.data(), 0), BitwiseCrc(part)) << length;
  }
  uint32_t whole = Crc32Update(data.size(), data.data(), 0);
  for (size_t split = 0; split <= data.size(); ++split) {
    uint32_t first = Crc32Update(split, data.data(), 0);
    ASSERT_EQ(Crc32Update(data.size() - split, data.data() + split, first), whole) << split;
  }
}

TEST(Crc32, ChainsOverManyUnalignedPieces) {
  std::vector<uint8_t> data(10000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + (i >> 7));
  uint32_t crc = 0;
  for (size_t at = 0, step = 1; at < data.size(); at += step, step = step % 37 + 1)
    crc = Crc32Update(std::min(step, data.size() - at), data.data() + at, crc);
  EXPECT_EQ(crc, BitwiseCrc(data));
}

}  // namespace
