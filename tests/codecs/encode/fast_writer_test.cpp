#include "runtime/codecs/encode/fast_writer.h"

#include <gtest/gtest.h>

#include "tests/support/memory_streams.h"

namespace {

using namespace testing_support;

using arjrt::BitWriter;
using arjrt::FastWriter;

std::vector<uint8_t> Bits(void (*emit)(FastWriter&)) {
  MemorySink sink;
  BitWriter bits(sink);
  FastWriter writer(bits);
  emit(writer);
  EXPECT_EQ(bits.Finish(), RESULT_OK);
  return sink.bytes;
}

// The narrowest and widest classes of both codes, where the unary prefixes
// lose their closing zero bit.
TEST(FastCodes, ClassEdges) {
  // Literal: 0, byte.
  EXPECT_EQ(Bits([](FastWriter& w) { w.Literal(0xC3); }), (std::vector<uint8_t>{0x61, 0x80}));
  // Length 3: 10 0; distance 1: 0 000000000.
  EXPECT_EQ(Bits([](FastWriter& w) { w.Copy(3, 1); }), (std::vector<uint8_t>{0x80, 0x00}));
  // Length 256 and distance 15872: all 31 bits set.
  EXPECT_EQ(Bits([](FastWriter& w) { w.Copy(256, arjrt::lzh::kFastMaxDistance); }),
            (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFE}));
  // Length 4: 10 1; distance 513: 10 0000000000 (second pointer class).
  EXPECT_EQ(Bits([](FastWriter& w) { w.Copy(4, 513); }), (std::vector<uint8_t>{0xB0, 0x00}));
  // Length 128 ends class 6: 1111110 111111; distance 512 ends class 0: 0 111111111.
  EXPECT_EQ(Bits([](FastWriter& w) { w.Copy(128, 512); }), (std::vector<uint8_t>{0xFD, 0xFB, 0xFE}));
}

}  // namespace
