#include "runtime/common/utf8.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace arjrt {
namespace {

// Every scalar value survives encode then decode; surrogates and values past
// U+10FFFF are never encoded as themselves.
TEST(Utf8, EveryCodePointRoundTrips) {
  std::string text;
  for (uint32_t cp = 0; cp <= 0x110000; ++cp) {
    text.clear();
    AppendUtf8(cp, &text);
    const Utf8Step step = DecodeUtf8Step(text, 0);
    ASSERT_TRUE(step.valid) << std::hex << cp;
    ASSERT_EQ(step.length, text.size()) << std::hex << cp;
    const bool scalar = cp < 0xD800 || (cp > 0xDFFF && cp <= 0x10FFFF);
    ASSERT_EQ(static_cast<uint32_t>(step.code_point), scalar ? cp : uint32_t{kReplacementChar})
        << std::hex << cp;
  }
}

// A malformed sequence consumes its longest well-formed prefix, so a valid
// character right after it is never swallowed.
TEST(Utf8, MalformedSequencesConsumeTheirValidPrefix) {
  const struct {
    const char* bytes;
    size_t length;
  } cases[] = {
      {"\x80", 1},              // lone continuation byte
      {"\xC0\x80", 1},          // C0/C1 only start overlongs
      {"\xC1\xBF", 1},
      {"\xF5\x80\x80\x80", 1},  // past U+10FFFF whatever follows
      {"\xFF", 1},
      {"\xC3", 1},              // truncated at the end of the text
      {"\xC3" "A", 1},
      {"\xE0\x9F\x80", 1},      // overlong three-byte form
      {"\xED\xA0\x80", 1},      // surrogate U+D800
      {"\xF0\x8F\xBF\xBF", 1},  // overlong four-byte form
      {"\xF4\x90\x80\x80", 1},  // U+110000
      {"\xE2\x82", 2},          // truncated euro sign
      {"\xE2\x82" "A", 2},
      {"\xF0\x9F\x98", 3},      // truncated emoji
      {"\xF0\x9F\x98" "A", 3},
  };
  for (const auto& c : cases) {
    const Utf8Step step = DecodeUtf8Step(c.bytes, 0);
    EXPECT_FALSE(step.valid) << c.bytes;
    EXPECT_EQ(step.length, c.length) << c.bytes;
    EXPECT_EQ(static_cast<uint32_t>(step.code_point), uint32_t{kReplacementChar});
  }
}

}  // namespace
}  // namespace arjrt
