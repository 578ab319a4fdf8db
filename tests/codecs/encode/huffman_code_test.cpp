#include "runtime/codecs/encode/huffman_code.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using arjrt::AssignCanonicalCodes;
using arjrt::BuildCodeLengths;

// Kraft sum in units of 2^-16; a complete code sums to exactly 65536.
uint64_t KraftUnits(const std::vector<uint8_t>& len) {
  uint64_t sum = 0;
  for (uint8_t l : len) {
    if (l != 0) sum += uint64_t{1} << (16 - l);
  }
  return sum;
}

uint64_t CostBits(const std::vector<uint32_t>& freq, const std::vector<uint8_t>& len) {
  uint64_t bits = 0;
  for (size_t i = 0; i < freq.size(); ++i) bits += uint64_t{freq[i]} * len[i];
  return bits;
}

std::vector<uint8_t> Lengths(const std::vector<uint32_t>& freq, uint32_t max_bits = 16) {
  std::vector<uint8_t> len(freq.size(), 0xFF);
  BuildCodeLengths(freq.data(), freq.size(), max_bits, len.data());
  return len;
}

TEST(HuffmanLengths, AreOptimalForSmallAlphabets) {
  EXPECT_EQ(Lengths({1, 1, 2, 4}), (std::vector<uint8_t>{3, 3, 2, 1}));
  EXPECT_EQ(Lengths({5, 5}), (std::vector<uint8_t>{1, 1}));
  EXPECT_EQ(Lengths({0, 7, 0, 0, 7, 7, 7}), (std::vector<uint8_t>{0, 2, 0, 0, 2, 2, 2}));
}

TEST(HuffmanLengths, SingleOrNoUsedSymbolGetsNoBits) {
  std::vector<uint32_t> freq(510, 0);
  std::vector<uint8_t> len(510, 9);
  EXPECT_EQ(BuildCodeLengths(freq.data(), freq.size(), 16, len.data()), 0u);
  EXPECT_EQ(std::count(len.begin(), len.end(), 0), 510);
  freq[300] = 1000;
  EXPECT_EQ(BuildCodeLengths(freq.data(), freq.size(), 16, len.data()), 1u);
  EXPECT_EQ(std::count(len.begin(), len.end(), 0), 510);
}

TEST(HuffmanLengths, SkewedFrequenciesStayWithinTheLimitAndComplete) {
  // Fibonacci weights make an unlimited tree as deep as there are symbols.
  std::vector<uint32_t> fib(40);
  fib[0] = fib[1] = 1;
  for (size_t i = 2; i < fib.size(); ++i) fib[i] = fib[i - 1] + fib[i - 2];
  for (uint32_t limit : {16u, 12u, 9u}) {
    const auto len = Lengths(fib, limit);
    EXPECT_LE(*std::max_element(len.begin(), len.end()), limit);
    EXPECT_EQ(std::count(len.begin(), len.end(), 0), 0);
    EXPECT_EQ(KraftUnits(len), uint64_t{1} << 16) << "limit " << limit;
  }
  // All 510 symbols, one of them dominating by far.
  std::vector<uint32_t> freq(510, 1);
  freq[0] = 0xFFFF0000u;
  const auto len = Lengths(freq);
  EXPECT_LE(*std::max_element(len.begin(), len.end()), 16);
  EXPECT_EQ(KraftUnits(len), uint64_t{1} << 16);
}

TEST(HuffmanLengths, RandomFrequenciesGiveCompleteCodesNoWorseThanFlat) {
  std::mt19937 g(12345);
  for (int round = 0; round < 200; ++round) {
    const size_t n = 2 + g() % 509;
    std::vector<uint32_t> freq(n);
    for (auto& f : freq) f = (g() % 4 == 0) ? 0 : (1u << (g() % 20)) + g() % 100;
    freq[g() % n] = 1;
    freq[g() % n] = 1;
    size_t used = n - static_cast<size_t>(std::count(freq.begin(), freq.end(), 0u));
    const auto len = Lengths(freq);
    ASSERT_LE(*std::max_element(len.begin(), len.end()), 16);
    if (used < 2) continue;
    ASSERT_EQ(KraftUnits(len), uint64_t{1} << 16);
    // A balanced code over the used symbols bounds an optimal one.
    uint32_t flat = 0;
    while ((size_t{1} << flat) < used) ++flat;
    uint64_t total = 0;
    for (uint32_t f : freq) total += f;
    ASSERT_LE(CostBits(freq, len), total * flat);
  }
}

TEST(CanonicalCodes, ShorterFirstThenBySymbolAndPrefixFree) {
  const std::vector<uint8_t> len{3, 0, 2, 3, 2, 2};
  std::vector<uint16_t> code(len.size(), 0xFFFF);
  AssignCanonicalCodes(len.data(), len.size(), code.data());
  EXPECT_EQ(code[2], 0b00);
  EXPECT_EQ(code[4], 0b01);
  EXPECT_EQ(code[5], 0b10);
  EXPECT_EQ(code[0], 0b110);
  EXPECT_EQ(code[3], 0b111);
  EXPECT_EQ(code[1], 0);
  // Lengths from real frequencies: no code is a prefix of another.
  std::vector<uint32_t> freq{40, 1, 3, 9, 27, 2, 0, 14, 5, 5};
  const auto l2 = Lengths(freq);
  std::vector<uint16_t> c2(l2.size());
  AssignCanonicalCodes(l2.data(), l2.size(), c2.data());
  for (size_t a = 0; a < l2.size(); ++a) {
    for (size_t b = 0; b < l2.size(); ++b) {
      if (a == b || l2[a] == 0 || l2[b] == 0 || l2[a] > l2[b]) continue;
      EXPECT_NE(c2[b] >> (l2[b] - l2[a]), c2[a]) << a << " prefixes " << b;
    }
  }
}

}  // namespace
