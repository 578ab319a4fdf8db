#include "runtime/common/md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace arjrt {
namespace {

std::string Hex(const uint8_t* digest) {
  std::string hex;
  char cell[3];
  for (int i = 0; i < 16; ++i) {
    std::snprintf(cell, sizeof cell, "%02x", digest[i]);
    hex += cell;
  }
  return hex;
}

std::string HexOf(std::string_view text) { return Hex(Md5Of(text.data(), text.size()).data()); }

// Bytes (i * 31 + 7) mod 256: every value occurs, no block repeats its
// neighbour, and the expected digests below were computed independently.
std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 31 + 7);
  return bytes;
}

TEST(Md5, Rfc1321Vectors) {
  EXPECT_EQ(HexOf(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(HexOf("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(HexOf("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(HexOf("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(HexOf("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(HexOf("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(HexOf("1234567890123456789012345678901234567890"
                  "1234567890123456789012345678901234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
}

// Lengths around 56 and 64 decide whether the padding needs a second block.
TEST(Md5, PaddingBoundaries) {
  const struct {
    size_t size;
    const char* hex;
  } cases[] = {
      {55, "c9e512626618c9980ef21a96597af94c"},  {56, "ecde7caa08e9f5657c863df107cac60a"},
      {57, "b17b1a018dd6a4d1edda8aca15f17846"},  {63, "2f0301069e1c40af7f6c8f843b1b13f2"},
      {64, "b6bf87c24b1bc334e2541387a92b981b"},  {65, "f168246f08b6134d66bd2a10343fa9f1"},
      {119, "d5dc3d8264de3aa24dee105910ee27fe"}, {120, "bcc139b3848923904860d1eefd6e5923"},
      {128, "3e85b70ffc8df5c735ecf2a8f14f1bee"}, {200, "4c1e627a4bcc5ffb25084afedb8477c8"},
  };
  const std::vector<uint8_t> bytes = Pattern(200);
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(Md5Of(bytes.data(), c.size).data()), c.hex) << c.size << " bytes";
  }
}

TEST(Md5, ChunkingDoesNotMatter) {
  const std::vector<uint8_t> bytes = Pattern(200);
  const std::string whole = "4c1e627a4bcc5ffb25084afedb8477c8";
  Md5 md5;
  uint8_t digest[16];
  for (size_t split = 0; split <= bytes.size(); ++split) {
    md5.Update(bytes.data(), split);
    md5.Update(bytes.data() + split, bytes.size() - split);
    md5.Final(digest);
    ASSERT_EQ(Hex(digest), whole) << "split at " << split;
  }
  // Uneven chunk sizes, so the pending buffer fills across several calls.
  for (size_t chunk = 1; chunk <= 70; ++chunk) {
    for (size_t pos = 0; pos < bytes.size(); pos += chunk) {
      md5.Update(bytes.data() + pos, std::min(chunk, bytes.size() - pos));
    }
    md5.Final(digest);
    ASSERT_EQ(Hex(digest), whole) << "chunks of " << chunk;
  }
}

TEST(Md5, UnalignedInputAndLongMessage) {
  // One million 'a', fed from an odd address in odd pieces.
  std::vector<uint8_t> storage(1000000 + 1, 'a');
  const uint8_t* odd = storage.data() + 1;
  Md5 md5;
  size_t fed = 0;
  for (size_t piece = 1; fed < 1000000; piece = piece * 3 % 4099 + 1) {
    const size_t take = std::min(piece, 1000000 - fed);
    md5.Update(odd + fed, take);
    fed += take;
  }
  uint8_t digest[16];
  md5.Final(digest);
  EXPECT_EQ(Hex(digest), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Md5, FinalStartsANewMessage) {
  Md5 md5;
  md5.Update("abc", 3);
  uint8_t digest[16];
  md5.Final(digest);
  md5.Update("a", 1);
  md5.Final(digest);
  EXPECT_EQ(Hex(digest), "0cc175b9c0f1b6a831c399e269772661");
  md5.Update("zzz", 3);
  md5.Reset();
  md5.Final(digest);
  EXPECT_EQ(Hex(digest), "d41d8cd98f00b204e9800998ecf8427e");
}

}  // namespace
}  // namespace arjrt
