#include "runtime/codecs/encode/lzh_block_writer.h"

#include <gtest/gtest.h>

#include "tests/support/memory_streams.h"

namespace {

using namespace testing_support;

using arjrt::BitWriter;
using arjrt::LzhBlockWriter;

class BitReader {
 public:
  explicit BitReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  uint32_t Get(uint32_t count) {
    uint32_t v = 0;
    for (uint32_t i = 0; i < count; ++i, ++pos_) {
      const uint32_t bit = pos_ / 8 < bytes_.size() ? (bytes_[pos_ / 8] >> (7 - pos_ % 8)) & 1u : 0u;
      v = (v << 1) | bit;
    }
    return v;
  }
  size_t bits_left() const { return bytes_.size() * 8 - std::min(pos_, bytes_.size() * 8); }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t pos_ = 0;
};

// One literal repeated: every block is the 16-bit count and three trees in
// the one-symbol form, and its codes take no bits, so the block boundaries
// can be read back exactly.
TEST(LzhBlocks, SplitLongInputsWithinTheSixteenBitCount) {
  MemorySink sink;
  BitWriter bits(sink);
  LzhBlockWriter writer(bits);
  const size_t total = 150000;
  for (size_t i = 0; i < total; ++i) writer.Literal('a');
  writer.Flush();
  ASSERT_EQ(bits.Finish(), RESULT_OK);

  BitReader in(sink.bytes);
  size_t seen = 0;
  int blocks = 0;
  while (seen < total) {
    ASSERT_GE(in.bits_left(), 54u) << "after " << blocks << " blocks";
    const uint32_t count = in.Get(16);
    ASSERT_GT(count, 0u);
    EXPECT_EQ(in.Get(5), 0u);    // pre-tree: one symbol
    in.Get(5);
    EXPECT_EQ(in.Get(9), 0u);    // char tree: one symbol ...
    EXPECT_EQ(in.Get(9), 'a');   // ... the literal
    EXPECT_EQ(in.Get(5), 0u);    // position tree: none used
    EXPECT_EQ(in.Get(5), 0u);
    seen += count;
    ++blocks;
  }
  EXPECT_EQ(seen, total);
  EXPECT_GE(blocks, 3);
  EXPECT_LT(in.bits_left(), 8u) << "bytes after the last block";
}

TEST(LzhBlocks, StartANewBlockWhereTheStatisticsChange) {
  MemorySink sink;
  BitWriter bits(sink);
  LzhBlockWriter writer(bits, 1024);
  const size_t half = 20 * 1024;
  for (size_t i = 0; i < half; ++i) writer.Literal(static_cast<uint8_t>('a' + i % 16));
  for (size_t i = 0; i < half; ++i) writer.Literal(static_cast<uint8_t>(0x80 + (i * 37) % 128));
  writer.Flush();
  ASSERT_EQ(bits.Finish(), RESULT_OK);
  BitReader in(sink.bytes);
  EXPECT_EQ(in.Get(16), half);
}

}  // namespace
