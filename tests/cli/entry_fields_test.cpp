// The listing's fields, put together without printf for speed, are what
// printf and strftime give: the ratio rounded as printf rounds the exact
// value of the double (ties to the even tenth), the time, the CRC.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <random>
#include <string>

#include "cli/output/entry_fields.h"
#include "cli/output/text_tools.h"

namespace {

TEST(EntryFields, RatioTimeAndCrcAreWhatPrintfGives) {
  const auto printf_ratio = [](uint64_t packed, uint64_t size) {
    const double percent = 100.0 * static_cast<double>(packed) / static_cast<double>(size);
    char text[16];
    std::snprintf(text, sizeof text, "%5.1f%%", percent);
    return std::string(text);
  };
  // Every ratio of small sizes (the ties among them: 49 of 400 is 12.25%),
  // then sizes of every magnitude.
  for (uint64_t size = 1; size <= 400; ++size)
    for (uint64_t packed = 0; packed <= 3 * size; ++packed)
      ASSERT_EQ(cli::RatioText(packed, size), printf_ratio(packed, size)) << packed << " of " << size;
  std::mt19937_64 random(31);
  for (int i = 0; i < 200000; ++i) {
    const uint64_t size = (random() >> (random() % 63)) + 1;
    const uint64_t packed = (random() >> (random() % 63)) % (size * 9 + 1);
    ASSERT_EQ(cli::RatioText(packed, size), printf_ratio(packed, size)) << packed << " of " << size;
  }
  EXPECT_EQ(cli::RatioText(10, 0), "  -  ");
  EXPECT_EQ(cli::RatioText(10000, 1), ">999%");

  for (const int64_t t : {int64_t{0}, int64_t{315532800}, int64_t{1700000000}, int64_t{4102444799}, int64_t{-30000000000},
                          int64_t{253402300800}}) {
    const std::time_t time = static_cast<std::time_t>(t);
    std::tm local{};
    ASSERT_NE(localtime_r(&time, &local), nullptr);
    char text[64];
    ASSERT_NE(std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local), 0u);
    EXPECT_EQ(cli::LocalTimeText(t), text) << t;
  }
  for (const uint32_t crc : {0u, 0xAu, 0x1234ABCDu, 0xFFFFFFFFu}) {
    char text[12];
    std::snprintf(text, sizeof text, "%08x", crc);
    EXPECT_EQ(cli::CrcText(crc), text);
  }
}

}  // namespace
