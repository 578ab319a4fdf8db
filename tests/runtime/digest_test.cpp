// The digest objects against published vectors, and DigestFinal's buffer rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

#include "tests/support/test_host.h"

namespace {

using namespace testing_support;

using testing_support::TestHost;

std::string Hex(const uint8_t* bytes, size_t n) {
  std::string text;
  char digits[3];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(digits, sizeof digits, "%02x", bytes[i]);
    text += digits;
  }
  return text;
}

class DigestTest : public ::testing::Test {
 protected:
  ObjectRef Make(uint32_t pid) {
    ObjectRef digest = nullptr;
    EXPECT_EQ(host::CreateObjectQuick(host_.root(), &digest, IID_DIGEST, pid), RESULT_OK);
    return digest;
  }
  // Feeds `message` in pieces of `piece` bytes; the final digest as hex.
  std::string DigestOf(ObjectRef d, const std::string& message, size_t piece, uint32_t size) {
    const DigestMethods& m = host::Digest(d);
    EXPECT_EQ(m.DigestReset(d), RESULT_OK);
    for (size_t at = 0; at < message.size(); at += piece) {
      const size_t n = std::min(piece, message.size() - at);
      EXPECT_EQ(m.DigestUpdate(d, message.data() + at, static_cast<uint32_t>(n)), RESULT_OK);
    }
    uint8_t out[32];
    EXPECT_EQ(m.DigestFinal(d, out, size), RESULT_OK);
    return Hex(out, size);
  }

  TestHost host_;
};

TEST_F(DigestTest, Md5IsTheDefaultAndMatchesKnownVectors) {
  ObjectRef md5 = Make(PID_DEFAULT);
  EXPECT_EQ(DigestOf(md5, "abc", 1, 16), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(DigestOf(md5, "", 1, 16), "d41d8cd98f00b204e9800998ecf8427e");
  const std::string quick = "The quick brown fox jumps over the lazy dog";
  for (size_t piece : {1, 7, 64, 1000})
    EXPECT_EQ(DigestOf(md5, quick, piece, 16), "9e107d9d372bb6826bd81d3542a419d6") << piece;
  host::CloseIfOpen(md5);
}

TEST_F(DigestTest, Crc32IsFourBytesLittleEndian) {
  ObjectRef crc = Make(PID_CRC32_DIGEST);
  EXPECT_EQ(DigestOf(crc, "123456789", 2, 4), "2639f4cb") << "CRC-32 0xCBF43926";
  EXPECT_EQ(DigestOf(crc, "", 1, 4), "00000000");
  host::CloseIfOpen(crc);
}

TEST_F(DigestTest, FinalFillsExactlyTheGivenSize) {
  ObjectRef md5 = Make(PID_DIGEST);
  const DigestMethods& m = host::Digest(md5);
  ASSERT_EQ(m.DigestUpdate(md5, "abc", 3), RESULT_OK);
  uint8_t out[24];
  std::fill(std::begin(out), std::end(out), 0xAA);
  ASSERT_EQ(m.DigestFinal(md5, out, 20), RESULT_OK);
  EXPECT_EQ(Hex(out, 24), "900150983cd24fb0d6963f7d28e17f7200000000aaaaaaaa") << "zeros to `size`, nothing beyond";
  std::fill(std::begin(out), std::end(out), 0xAA);
  ASSERT_EQ(m.DigestFinal(md5, out, 3), RESULT_OK);
  EXPECT_EQ(Hex(out, 4), "900150aa");
  EXPECT_EQ(m.DigestFinal(md5, nullptr, 16), ERR_BAD_PARAMETER);
  EXPECT_EQ(m.DigestUpdate(md5, nullptr, 1), ERR_BAD_PARAMETER);

  // Final leaves the message open; Reset starts a new one.
  ASSERT_EQ(m.DigestUpdate(md5, "def", 3), RESULT_OK);
  ASSERT_EQ(m.DigestFinal(md5, out, 16), RESULT_OK);
  EXPECT_EQ(Hex(out, 16), "e80b5017098950fc58aad83c8c14978e") << "MD5 of abcdef";
  host::CloseIfOpen(md5);
}

}  // namespace
