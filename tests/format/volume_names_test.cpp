#include "plugin/format/volume_names.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "plugin/format/integer_text.h"

namespace {

using namespace arjhost::format;

std::string Rewrite(const std::string& name, int32_t volume, uint32_t length = 0) {
  char buffer[64] = {};
  std::memcpy(buffer, name.data(), name.size());
  EXPECT_EQ(SetVolumeNumber(buffer, length, volume), 0) << name;
  return buffer;
}

TEST(VolumeNaming, RewritesEveryRangeInTheCaseOfTheName) {
  const struct {
    int32_t volume;
    const char* lower;
    const char* upper;
  } rows[] = {{0, "data.arj", "DATA.ARJ"},   {1, "data.a01", "DATA.A01"},   {9, "data.a09", "DATA.A09"},
              {10, "data.a10", "DATA.A10"},  {99, "data.a99", "DATA.A99"},  {100, "data.100", "DATA.100"},
              {101, "data.101", "DATA.101"}, {999, "data.999", "DATA.999"}, {1000, "data.1000", "DATA.1000"}};
  for (const auto& row : rows) {
    EXPECT_EQ(Rewrite("data.arj", row.volume), row.lower) << row.volume;
    EXPECT_EQ(Rewrite("DATA.ARJ", row.volume), row.upper) << row.volume;
  }
}

TEST(VolumeNaming, FindGivesBackWhatSetWrote) {
  for (const char* start : {"data.arj", "DATA.ARJ", "x.y.a05"})
    for (int32_t n = 0; n < 3000; n += (n < 120 ? 1 : 37)) {
      std::string name = Rewrite(start, n);
      EXPECT_EQ(FindVolumeNumber(name.c_str(), 0), n) << name;
    }
}

TEST(VolumeNaming, TheOldLetterDecidesTheCaseOfVolumeZero) {
  EXPECT_EQ(Rewrite("Data.Arj", 0), "Data.ARJ");
  EXPECT_EQ(Rewrite("DATA.a01", 0), "DATA.arj");
  EXPECT_EQ(Rewrite("DATA.100", 0), "DATA.Arj");
  EXPECT_EQ(Rewrite("DATA.1000", 0), "DATA.Arj");
  EXPECT_EQ(Rewrite("data.a5", 0), "data.arj");
  EXPECT_EQ(Rewrite("DATA.100", 1), "DATA.A01");
  EXPECT_EQ(Rewrite("data.100", 1), "data.A01");
  EXPECT_EQ(Rewrite("a.a01.txt", 2), "a.a01.a02") << "the last dot is rewritten";
  EXPECT_EQ(Rewrite("DATA.A01", -4), "DATA.A0-4");
}

TEST(VolumeNaming, FindReadsTheNumberAfterTheLetterOrTheDot) {
  const struct {
    const char* name;
    int32_t number;
  } rows[] = {{"data.arj", 0},  {"DATA.A07", 7}, {"x.001", 1},   {"DATA.1000", 1000}, {"x.zip", -1},
              {"a.b.c", -1},    {"ab", -1},      {"x.", -1},     {".arj", -1},        {"", -1},
              {"a.arj.bak", 0}, {"x.abc", 0},    {"x.a5x", 5},   {"x.a+3", 3},        {"x.a-1", -1}};
  for (const auto& row : rows) EXPECT_EQ(FindVolumeNumber(row.name, 0), row.number) << row.name;
}

TEST(VolumeNaming, TheLengthMayOmitOrCountTheTerminator) {
  for (const char* name : {"data.a07", "DATA.100", "x.zip"}) {
    uint32_t n = static_cast<uint32_t>(std::strlen(name));
    EXPECT_EQ(FindVolumeNumber(name, n), FindVolumeNumber(name, 0));
    EXPECT_EQ(FindVolumeNumber(name, n + 1), FindVolumeNumber(name, 0));
    EXPECT_EQ(Rewrite(name, 12, n), Rewrite(name, 12, n + 1));
  }
  char name[16] = "noextension";
  EXPECT_EQ(SetVolumeNumber(name, 0, 3), 1);
  EXPECT_STREQ(name, "noextension");
  char dot_first[16] = ".arj";
  EXPECT_EQ(SetVolumeNumber(dot_first, 0, 3), 1);
  EXPECT_STREQ(dot_first, ".arj");
}

// Every name of a set gives back the number it was made for, from any
// volume's name as a start: number -> name -> number.
TEST(VolumeNaming, NumberNameNumberRoundTrip) {
  const char* const starts[] = {"data.arj", "DATA.ARJ", "Data.Arj", "mIx.aRJ", "data.a01", "DATA.A99", "data.a5",
                                "data.100", "DATA.999", "data.1000", "x.y.a05", "dig.123", "a.arj.bak", "d/set.arj"};
  for (const char* start : starts)
    for (int32_t n = 0; n < 2500; n += n < 120 ? 1 : (n < 1010 ? 11 : 97)) {
      const std::string name = VolumeName(start, n);
      ASSERT_FALSE(name.empty()) << start;
      EXPECT_EQ(VolumeNumberOf(name), n) << start << " -> " << name;
      // A later volume's name is its own; volume 0's is too but for its
      // case ("x.Arj" from "x.100" turns into "x.ARJ").
      if (n > 0) {
        EXPECT_EQ(VolumeName(name, n), name);
      }
    }
  for (const char* no_extension : {"data", "DATA", ".arj", ""}) {
    EXPECT_EQ(VolumeNumberOf(no_extension), -1) << no_extension;
    EXPECT_EQ(VolumeName(no_extension, 3), "") << no_extension;
  }
}

// The names arj 3.10 gave the volumes of the sets it made with a -v10k
// (from TEST.ARJ, 141 volumes; from the other first names, 4).
TEST(VolumeNaming, NamesAsArjNamesThem) {
  const struct {
    const char* first;
    int32_t volume;
    const char* name;
  } rows[] = {{"TEST.ARJ", 1, "TEST.A01"},  {"TEST.ARJ", 99, "TEST.A99"}, {"TEST.ARJ", 100, "TEST.100"},
              {"TEST.ARJ", 140, "TEST.140"}, {"low.arj", 1, "low.a01"},   {"low.arj", 140, "low.140"},
              {"Mix.Arj", 3, "Mix.A03"},     {"mIx.aRJ", 2, "mIx.a02"},   {"dig.123", 124, "dig.124"}};
  for (const auto& row : rows) EXPECT_EQ(VolumeName(row.first, row.volume), row.name) << row.first;
}

TEST(VolumeNaming, FirstVolumeNames) {
  const struct {
    const char* name;
    bool first;
  } rows[] = {{"set.arj", true}, {"SET.ARJ", true}, {"s.ArJ", true}, {"d.x/s.arj", true}, {".arj", false},
              {"set.a01", false}, {"set.arj.bak", false}, {"set.arjx", false}, {"set", false}, {"", false}};
  for (const auto& row : rows) EXPECT_EQ(NamesFirstVolume(row.name), row.first) << row.name;
}

TEST(IntegerText, FormatAndParse) {
  char b[40];
  EXPECT_STREQ(FormatInteger(0, b), "0");
  EXPECT_STREQ(FormatInteger(-5, b), "-5");
  EXPECT_STREQ(FormatInteger(1234567890, b), "1234567890");
  EXPECT_STREQ(FormatInteger(INT32_MIN, b), "-2147483648");
  EXPECT_EQ(ParseInteger("rj"), 0);
  EXPECT_EQ(ParseInteger("01"), 1);
  EXPECT_EQ(ParseInteger("-12x"), -12);
  EXPECT_EQ(ParseInteger(" 5"), 0);
  EXPECT_EQ(ParseInteger("4294967297"), 1) << "overflow wraps";
}

}  // namespace
