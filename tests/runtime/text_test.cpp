// Text objects: code page conversion both ways, partial replacement and
// copies, and truncation that never splits a character.
#include <gtest/gtest.h>

#include <string>

#include "runtime/services/services.h"
#include "tests/support/io_objects.h"
#include "tests/support/test_host.h"

namespace {

using namespace testing_support;

class TextTest : public ::testing::Test {
 protected:
  void SetUp() override { text_ = MakeText(host_.root(), ""); }
  void TearDown() override { host::CloseIfOpen(text_); }

  ResultCode Set(const std::string& bytes, int32_t codepage, uint32_t start = 0) {
    return host::Text(text_).SetFromBuffer(text_, start, bytes.data(), static_cast<uint32_t>(bytes.size()),
                                           codepage, 0);
  }
  // Copies into a buffer of `size` bytes; the bytes before the NUL.
  std::string Copy(int32_t codepage, uint32_t size = 256, ResultCode expected = RESULT_OK, uint32_t start = 0,
                   uint32_t count = UINT32_MAX) {
    std::string buffer(size + 1, '#');  // one guard byte past the end
    EXPECT_EQ(host::Text(text_).CopyToBuffer(text_, start, count, buffer.data(), size, codepage, 0), expected);
    EXPECT_EQ(buffer[size], '#') << "wrote past the buffer";
    const size_t nul = buffer.find('\0');
    EXPECT_LT(nul, static_cast<size_t>(size)) << "not NUL-terminated within the buffer";
    return buffer.substr(0, nul);
  }
  std::string Utf8() { return StringProperty(text_, arjrt::PROP_TEXT_VALUE); }

  TestHost host_;
  ObjectRef text_ = nullptr;
};

TEST_F(TextTest, DosCodePagesRoundTripEveryHighByte) {
  std::string high;
  for (int b = 0x80; b <= 0xFF; ++b) high.push_back(static_cast<char>(b));
  for (int32_t page : {437, 850, 866}) {
    ASSERT_EQ(Set(high, page), RESULT_OK) << page;
    EXPECT_EQ(Copy(page), high) << page;
  }
  ASSERT_EQ(Set("\x81" "ber", 437), RESULT_OK);
  EXPECT_EQ(Utf8(), "\xC3\xBC" "ber") << "437 0x81 is u with diaeresis";
  ASSERT_EQ(Set("\x80", 866), RESULT_OK);
  EXPECT_EQ(Utf8(), "\xD0\x90") << "866 0x80 is Cyrillic A";
  EXPECT_EQ(Copy(437), "?") << "a character the page lacks";
  ASSERT_EQ(Set("a\xE2\x82\xAC" "b", CP_UTF8), RESULT_OK);
  EXPECT_EQ(Copy(850), "a?b");
}

TEST_F(TextTest, NamePagesPassBytesUnchanged) {
  const std::string raw = "\x81\xFF name.txt";  // not UTF-8: as an old archive stores it
  for (int32_t page : {CP_ENTRY_NAMES, CP_HOST_PATHS, CP_UTF8}) {
    ASSERT_EQ(Set(raw, page), RESULT_OK);
    EXPECT_EQ(Copy(CP_ENTRY_NAMES), raw) << page;
    EXPECT_EQ(Copy(CP_HOST_PATHS), raw) << page;
  }
  EXPECT_EQ(Copy(437), "?? name.txt") << "stray bytes are no characters of a page";
  ASSERT_EQ(Set(std::string("ab\0cd", 5), CP_UTF8), RESULT_OK);
  EXPECT_EQ(Utf8(), "ab") << "a NUL ends the input";
  EXPECT_EQ(Set("x", 1252), ERR_UNSUPPORTED);
  EXPECT_EQ(Utf8(), "ab") << "a refused conversion changes nothing";
  std::string out(4, '#');
  EXPECT_EQ(host::Text(text_).CopyToBuffer(text_, 0, UINT32_MAX, out.data(), 4, 1252, 0), ERR_UNSUPPORTED);
}

TEST_F(TextTest, StartReplacesTheRestAndCopiesCountCharacters) {
  ASSERT_EQ(Set("abcdef", CP_UTF8), RESULT_OK);
  ASSERT_EQ(Set("XYZ", CP_UTF8, 3), RESULT_OK);
  EXPECT_EQ(Utf8(), "abcXYZ");
  ASSERT_EQ(Set("!", CP_UTF8, 100), RESULT_OK);
  EXPECT_EQ(Utf8(), "abcXYZ!") << "a start past the end appends";
  EXPECT_EQ(Copy(CP_UTF8, 256, RESULT_OK, 2, 2), "cX");
  EXPECT_EQ(Copy(CP_UTF8, 256, RESULT_OK, 50, 2), "");

  ASSERT_EQ(Set("\xC3\xA4\xC3\xB6\xC3\xBC", CP_UTF8), RESULT_OK);  // three two-byte characters
  ASSERT_EQ(Set("-", CP_UTF8, 2), RESULT_OK);
  EXPECT_EQ(Utf8(), "\xC3\xA4\xC3\xB6-") << "start counts characters, not bytes";
  EXPECT_EQ(Copy(CP_UTF8, 256, RESULT_OK, 1, 1), "\xC3\xB6");
  EXPECT_EQ(Copy(437, 256, RESULT_OK, 1, 2), "\x94-");
}

TEST_F(TextTest, TruncationKeepsWholeCharactersAndTheNul) {
  ASSERT_EQ(Set("\xC3\xA4\xC3\xB6\xC3\xBC", CP_UTF8), RESULT_OK);
  EXPECT_EQ(Copy(CP_UTF8, 7), "\xC3\xA4\xC3\xB6\xC3\xBC");
  EXPECT_EQ(Copy(CP_UTF8, 6, ERR_BUFFER_TOO_SMALL), "\xC3\xA4\xC3\xB6");
  EXPECT_EQ(Copy(CP_UTF8, 4, ERR_BUFFER_TOO_SMALL), "\xC3\xA4");
  EXPECT_EQ(Copy(CP_UTF8, 2, ERR_BUFFER_TOO_SMALL), "") << "half a character is none";
  EXPECT_EQ(Copy(437, 4), "\x84\x94\x81");
  EXPECT_EQ(Copy(437, 3, ERR_BUFFER_TOO_SMALL), "\x84\x94");
  char none = '#';
  EXPECT_EQ(host::Text(text_).CopyToBuffer(text_, 0, UINT32_MAX, &none, 0, CP_UTF8, 0), ERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(none, '#');
}

TEST_F(TextTest, ValuePropertyIsTheUtf8Content) {
  ASSERT_EQ(host::SetPropBuffer(text_, arjrt::PROP_TEXT_VALUE, "na\xC3\xAFve", 6), RESULT_OK);
  EXPECT_EQ(Copy(850), "na\x8B" "ve");
  uint32_t length = 0;
  EXPECT_EQ(text_->system->GetPropBuffer(text_, &length, arjrt::PROP_TEXT_VALUE, nullptr, 0), RESULT_OK);
  EXPECT_EQ(length, 7u);
}

}  // namespace
