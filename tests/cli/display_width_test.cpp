// Text as a terminal shows it: the columns it takes, by which the listing
// pads (our table against the C library's wcwidth in a UTF-8 locale), and
// the escapes that keep a name from driving the screen.
#include <gtest/gtest.h>

#include <clocale>
#include <cwchar>
#include <string>

#include "cli/output/display_width.h"
#include "cli/output/text_tools.h"

namespace {

TEST(DisplayWidth, TextOfEveryKind) {
  const struct {
    const char* text;
    size_t width;
  } cases[] = {
      {"", 0},
      {"plain.txt", 9},
      {"gr\xc3\xbc\xc3\x9f.txt", 8},                      // Latin-1 letters: one column each
      {"\xd0\x91\xd0\xb5\xd1\x80", 3},                    // Cyrillic
      {"\xe6\x95\xb0\xe6\x8d\xae", 4},                    // CJK: two columns each
      {"\xea\xb0\x80", 2},                                // Hangul syllable
      {"\xef\xbc\xa1", 2},                                // fullwidth A
      {"caf\x65\xcc\x81", 4},                             // e and a combining acute: one column
      {"a\xe2\x80\x8b" "b", 2},                           // zero-width space
      {"\xf0\x9f\x98\x80", 2},                            // an emoji shown wide
      {"\xf0\xa0\x80\x80", 2},                            // CJK extension B
      {"\xff\xfe", 2},                                    // invalid bytes: one column each
      {"\xe6\x95", 2},                                    // a cut sequence: its bytes one each
      // Marks and wide characters of the later Unicode versions, which a
      // table typed by hand missed: the generated one has them.
      {"a\xe0\xa2\x98", 1},                                // U+0898, an Arabic mark of Unicode 14
      {"\xf0\x9e\xa4\x9e\xf0\x9e\xa5\x84", 1},                // Adlam letter and its lengthener mark
      {"\xf0\x9f\x9b\x9d", 2},                            // U+1F6DD, an emoji of Unicode 14
      {"\xf0\xaa\x9b\xa0", 2},                            // U+2A6E0, unassigned in plane 2: wide by default
      {"\xcd\xb8", 1},                                    // U+0378, unassigned elsewhere: one column
  };
  for (const auto& c : cases) EXPECT_EQ(cli::DisplayWidth(c.text), c.width) << c.text;
  EXPECT_EQ(cli::PadToWidth("\xe6\x95\xb0", 4), "\xe6\x95\xb0  ");
  EXPECT_EQ(cli::PadLeftToWidth("ab", 4), "  ab");
  EXPECT_EQ(cli::PadToWidth("abcdef", 4), "abcdef") << "wider text stays whole";
}

// Assigned characters of the scripts a name is likely to hold agree with
// the C library (where its locale data is there to ask).
TEST(DisplayWidth, AgreesWithWcwidth) {
  if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
  const struct {
    char32_t first, last;
  } ranges[] = {{0x20, 0x7E},       {0xA0, 0x24F},     {0x300, 0x36F},   {0x370, 0x3FF},   {0x400, 0x4FF},
                {0x591, 0x5C7},     {0x5D0, 0x5EA},    {0x900, 0x97F},   {0xE00, 0xE5B},   {0x1100, 0x11FF},
                {0x2E80, 0x2E99},   {0x3000, 0x303E},  {0x3041, 0x3096}, {0x30A0, 0x30FF}, {0x4E00, 0x4EFF},
                {0xAC00, 0xACFF},   {0xFE20, 0xFE2F},  {0xFF01, 0xFF60}, {0xFF61, 0xFFDC}, {0x1F600, 0x1F64F},
                {0x20000, 0x200FF}};
  int differences = 0;
  for (const auto& r : ranges)
    for (char32_t c = r.first; c <= r.last; ++c) {
      const int theirs = ::wcwidth(static_cast<wchar_t>(c));
      if (theirs < 0) continue;  // unassigned in the C library's tables
      if (cli::CodePointWidth(c) != theirs && ++differences <= 10)
        ADD_FAILURE() << std::hex << "U+" << static_cast<uint32_t>(c) << ": ours " << cli::CodePointWidth(c)
                      << ", wcwidth " << theirs;
    }
  std::setlocale(LC_CTYPE, "C");
  EXPECT_EQ(differences, 0);
}

TEST(TerminalText, EscapesWhatCouldDriveOrForgeTheScreen) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"plain name.txt", "plain name.txt"},
      {"\x1b[2J\x1b[31mred", "\\x1b[2J\\x1b[31mred"},
      {"row\n001) forged\rback\b\t", "row\\n001) forged\\rback\\x08\\t"},
      {"del\x7f nul", "del\\x7f nul"},
      {"c1 \xc2\x9b" "31m", "c1 \\u009b31m"},
      {"evil\xe2\x80\xaetxt.exe", "evil\\u202etxt.exe"},
      {"iso\xe2\x81\xa6x", "iso\\u2066x"},
      {"dir\\file", "dir\\\\file"},
      {"bad \xff\xc3", "bad \\xff\\xc3"},
      {"gr\xc3\xbc\xc3\x9f \xe2\x82\xac", "gr\xc3\xbc\xc3\x9f \xe2\x82\xac"},  // printable UTF-8 kept
  };
  for (const auto& c : cases) EXPECT_EQ(cli::TerminalText(c.in), c.out) << c.in;
}

}  // namespace
