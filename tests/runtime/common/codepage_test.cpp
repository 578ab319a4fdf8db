#include "runtime/common/codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace arjrt {
namespace {

TEST(IsValidUtf8, AcceptsWellFormedText) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("plain ascii.txt"));
  EXPECT_TRUE(IsValidUtf8(std::string("nul\0inside", 10)));
  // Boundaries of each sequence length: U+7F, U+80, U+7FF, U+800, U+D7FF,
  // U+E000, U+FFFF, U+10000, U+10FFFF.
  EXPECT_TRUE(IsValidUtf8("\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80"
                          "\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"));
}

TEST(IsValidUtf8, RejectsOverlongsSurrogatesAndOutOfRange) {
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong '/'
  EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));
  EXPECT_FALSE(IsValidUtf8("\xF0\x80\x80\xAF"));
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // U+D800
  EXPECT_FALSE(IsValidUtf8("\xED\xBF\xBF"));      // U+DFFF
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // U+110000
  EXPECT_FALSE(IsValidUtf8("\xF8\x88\x80\x80\x80"));
  EXPECT_FALSE(IsValidUtf8("ok\xC3"));            // truncated at the end
  EXPECT_FALSE(IsValidUtf8("\xE2\x82" "x"));
  EXPECT_FALSE(IsValidUtf8("\x80"));
}

TEST(DecodeToUtf8, KnownPoints) {
  EXPECT_EQ(DecodeToUtf8("\x81", 437), "\u00FC");
  EXPECT_EQ(DecodeToUtf8("\xE1", 437), "\u00DF");
  EXPECT_EQ(DecodeToUtf8("\x80", 866), "\u0410");
  EXPECT_EQ(DecodeToUtf8("\xD5", 850), "\u0131");
  EXPECT_EQ(DecodeToUtf8("\x9B", 437), "\u00A2");  // 437 and 850 differ here
  EXPECT_EQ(DecodeToUtf8("\x9B", 850), "\u00F8");
  EXPECT_EQ(DecodeToUtf8("\xFF", 866), "\u00A0");
  EXPECT_EQ(DecodeToUtf8("A\\b\x01\x7F", 437), "A\\b\x01\x7F");
}

TEST(DecodeToUtf8, Utf8PageReplacesMalformedSequences) {
  EXPECT_EQ(DecodeToUtf8("a\xC3\xA4" "b", kCodePageUtf8), "a\u00E4b");
  EXPECT_EQ(DecodeToUtf8("a\xC3", kCodePageUtf8), "a\uFFFD");
  EXPECT_EQ(DecodeToUtf8("\xE2\x82" "x", kCodePageUtf8), "\uFFFDx");
  EXPECT_EQ(DecodeToUtf8("\xC0\x80", kCodePageUtf8), "\uFFFD\uFFFD");
  EXPECT_EQ(DecodeToUtf8("\xED\xA0\x80", kCodePageUtf8), "\uFFFD\uFFFD\uFFFD");
  EXPECT_TRUE(IsValidUtf8(DecodeToUtf8("\xFF\xFE\xF0\x9F\x98", kCodePageUtf8)));
}

TEST(DecodeToUtf8, UnknownPageKeepsOnlyAscii) {
  EXPECT_EQ(DecodeToUtf8("ab\x81", 1252), "ab\uFFFD");
}

TEST(CodePages, EveryHighByteRoundTrips) {
  for (const int page : {437, 850, 866}) {
    std::string all;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
      const std::string one(1, static_cast<char>(byte));
      const std::string utf8 = DecodeToUtf8(one, page);
      ASSERT_TRUE(IsValidUtf8(utf8));
      ASSERT_GE(utf8.size(), 2u) << page << " " << byte;
      std::string back;
      ASSERT_TRUE(EncodeFromUtf8(utf8, page, &back)) << page << " " << byte;
      EXPECT_EQ(back, one) << page << " " << byte;
      all += one;
    }
    std::string back;
    ASSERT_TRUE(EncodeFromUtf8(DecodeToUtf8(all, page), page, &back));
    EXPECT_EQ(back, all) << page;
  }
}

TEST(EncodeFromUtf8, FailsWithoutChangingOutput) {
  std::string out = "unchanged";
  EXPECT_FALSE(EncodeFromUtf8("a\u4E2D", 437, &out));      // no such character
  EXPECT_FALSE(EncodeFromUtf8("\u0410", 437, &out));       // Cyrillic only in 866
  EXPECT_FALSE(EncodeFromUtf8("\xF0\x9F\x98\x80", 866, &out));
  EXPECT_FALSE(EncodeFromUtf8("a\xC3", 437, &out));        // malformed input
  EXPECT_FALSE(EncodeFromUtf8("a\xC3", kCodePageUtf8, &out));
  EXPECT_FALSE(EncodeFromUtf8("abc", 1252, &out));         // page not handled
  EXPECT_EQ(out, "unchanged");

  EXPECT_TRUE(EncodeFromUtf8("\u0410x", 866, &out));
  EXPECT_EQ(out, "\x80x");
  EXPECT_TRUE(EncodeFromUtf8("\u00E4", kCodePageUtf8, &out));
  EXPECT_EQ(out, "\u00E4");
}

TEST(DisplayName, PrefersUtf8ThenFallsBack) {
  EXPECT_EQ(DisplayName("readme.txt"), "readme.txt");
  EXPECT_EQ(DisplayName("gr\xC3\xBC\xC3\x9F" "e"), "gr\u00FC\u00DF" "e");  // valid UTF-8 kept
  EXPECT_EQ(DisplayName("gr\x81\xE1" "e"), "gr\u00FC\u00DF" "e");          // 437 by default
  EXPECT_EQ(DisplayName("\x8F\xE0\xA8", 866), "\u041F\u0440\u0438");
}

}  // namespace
}  // namespace arjrt
