#include "plugin/format/crc32.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace arjhost::format;

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

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}


TEST(Crc32, ChainsOverManyUnalignedPieces) {
  std::vector<uint8_t> data(10000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + (i >> 7));
  uint32_t crc = 0;
  for (size_t at = 0, step = 1; at < data.size(); at += step, step = step % 37 + 1)
    crc = Crc32Update(std::min(step, data.size() - at), data.data() + at, crc);
  EXPECT_EQ(crc, BitwiseCrc(data));
}

using CrcFunction = uint32_t (*)(size_t, const void*, uint32_t);

// Crc32Update itself, and the table path it falls back to where the processor
// lacks carry-less multiplication (and uses for short inputs everywhere).
class Crc32Paths : public ::testing::TestWithParam<CrcFunction> {};

INSTANTIATE_TEST_SUITE_P(Paths, Crc32Paths, ::testing::Values(&Crc32Update, &crc32_detail::Crc32Tables),
                         [](const auto& info) {
                           return info.param == &Crc32Update ? std::string("Dispatching")
                                                       : std::string("Tables");
                         });

TEST_P(Crc32Paths, KnownValues) {
  const CrcFunction crc = GetParam();
  EXPECT_EQ(crc(9, "123456789", 0), 0xCBF43926u);
  EXPECT_EQ(crc(0, "", 0), 0u);
  EXPECT_EQ(crc(0, nullptr, 0x12345678u), 0x12345678u);
  const std::vector<uint8_t> zeros(4096, 0);
  EXPECT_EQ(crc(32, zeros.data(), 0), 0x190A55ADu);
  EXPECT_EQ(crc(zeros.size(), zeros.data(), 0), 0xC71C0011u);
}

// Every length from 0 to 300 at every start offset mod 16, so each loop,
// its byte tail and misaligned loads all meet the reference.
TEST_P(Crc32Paths, MatchesBitwiseReference) {
  const CrcFunction crc = GetParam();
  const std::vector<uint8_t> bytes = RandomBytes(300 + 16, 1);
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t size = 0; size <= 300; ++size) {
      ASSERT_EQ(crc(size, bytes.data() + offset, 0), BitwiseCrc({bytes.begin() + offset, bytes.begin() + offset + size}))
          << "offset " << offset << " size " << size;
    }
  }
  const std::vector<uint8_t> large = RandomBytes((1 << 20) + 77, 2);
  EXPECT_EQ(crc(large.size(), large.data(), 0), BitwiseCrc(large));
}

TEST_P(Crc32Paths, ChainsAtEverySplit) {
  const CrcFunction crc = GetParam();
  const std::vector<uint8_t> bytes = RandomBytes(1000, 3);
  const uint32_t whole = BitwiseCrc(bytes);
  for (size_t split = 0; split <= bytes.size(); ++split) {
    const uint32_t first = crc(split, bytes.data(), 0);
    ASSERT_EQ(crc(bytes.size() - split, bytes.data() + split, first), whole)
        << "split at " << split;
  }
}

}  // namespace
