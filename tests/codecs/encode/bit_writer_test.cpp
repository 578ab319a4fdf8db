#include "runtime/codecs/encode/bit_writer.h"

#include <gtest/gtest.h>

#include "runtime/codecs/encode/bit_joiner.h"

#include "tests/support/memory_streams.h"

namespace {

using namespace testing_support;

using arjrt::BitWriter;

class FailingSink : public arjrt::ByteSink {
 public:
  explicit FailingSink(size_t accept_calls) : accept_calls_(accept_calls) {}
  ResultCode Write(const uint8_t*, size_t size) override {
    ++calls;
    if (calls > accept_calls_) return ERR_IO;
    accepted += size;
    return RESULT_OK;
  }
  size_t calls = 0;
  size_t accepted = 0;

 private:
  size_t accept_calls_;
};

TEST(BitWriter, PacksHighBitFirstAndPadsWithZeros) {
  MemorySink sink;
  BitWriter bits(sink);
  bits.Put(1, 1);
  bits.Put(3, 0b010);
  bits.Put(0, 0xFFFF);  // nothing
  bits.Put(16, 0xBEEF);
  bits.Put(5, 0xFF);  // only the low five bits count
  ASSERT_EQ(bits.Finish(), RESULT_OK);
  // 1 010 1011111011101111 11111 + 7 pad bits
  EXPECT_EQ(sink.bytes, (std::vector<uint8_t>{0xAB, 0xEE, 0xFF, 0x80}));
  EXPECT_EQ(bits.bytes_written(), 4u);
}

TEST(BitWriter, CarriesOutputAcrossItsBuffer) {
  MemorySink sink;
  BitWriter bits(sink);
  const size_t n = 200000;  // several internal buffers
  for (size_t i = 0; i < n; ++i) bits.Put(12, static_cast<uint32_t>(i));
  ASSERT_EQ(bits.Finish(), RESULT_OK);
  ASSERT_EQ(sink.bytes.size(), n * 12 / 8);
  for (size_t i = 0; i < n; i += 2) {
    const uint8_t* p = &sink.bytes[i / 2 * 3];
    const uint32_t pair = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    ASSERT_EQ(pair >> 12, i & 0xFFF);
    ASSERT_EQ(pair & 0xFFF, (i + 1) & 0xFFF);
  }
}

// Puts of every width, in runs that end anywhere inside a byte or a word:
// the bytes are those a bit-at-a-time writer makes, and the bits left over
// before the padding are counted right (a chunk's length in bits rests on
// them).
TEST(BitWriter, MatchesABitAtATimeWriterForEveryWidth) {
  const size_t runs[] = {0, 1, 3, 7, 8, 9, 31, 32, 33, 1000, 70001};
  for (size_t run : runs) {
    MemorySink sink;
    BitWriter bits(sink);
    std::vector<bool> expected;
    uint32_t seed = static_cast<uint32_t>(run) * 2654435761u + 1;
    for (size_t i = 0; i < run; ++i) {
      seed = seed * 1103515245u + 12345u;
      const uint32_t count = (seed >> 8) % 25;  // 0..24
      const uint32_t value = seed ^ (seed >> 13);
      bits.Put(count, value);
      for (uint32_t b = count; b-- > 0;) expected.push_back(((value >> b) & 1u) != 0);
    }
    EXPECT_EQ(bits.pending_bits(), expected.size() % 8) << run;
    ASSERT_EQ(bits.Finish(), RESULT_OK);
    std::vector<uint8_t> bytes((expected.size() + 7) / 8, 0);
    for (size_t i = 0; i < expected.size(); ++i)
      if (expected[i]) bytes[i / 8] |= static_cast<uint8_t>(0x80u >> (i % 8));
    EXPECT_TRUE(sink.bytes == bytes) << run << " puts";
    EXPECT_EQ(bits.bytes_written(), bytes.size()) << run;
  }
}

TEST(BitWriter, KeepsTheFirstSinkErrorAndCountsOnlyAcceptedBytes) {
  FailingSink sink(1);
  BitWriter bits(sink);
  for (int i = 0; i < 300000; ++i) bits.Put(8, 0x5A);
  EXPECT_EQ(bits.status(), ERR_IO);
  const size_t calls = sink.calls;
  for (int i = 0; i < 300000; ++i) bits.Put(8, 0x5A);
  EXPECT_EQ(bits.Finish(), ERR_IO);
  EXPECT_EQ(sink.calls, calls) << "writes go on after a failure";
  EXPECT_EQ(bits.bytes_written(), sink.accepted);
}

// Chunks packed apart and joined make the stream one writer makes of the
// same bits, wherever the chunks end inside a byte.
TEST(BitJoiner, JoinsChunksIntoTheStreamOneWriterMakes) {
  struct Case {
    const char* label;
    std::vector<uint32_t> chunk_bits;  // bits in each chunk
  };
  const Case cases[] = {
      {"whole bytes", {16, 8, 800}},
      {"every tail length", {1, 2, 3, 4, 5, 6, 7, 9, 15, 17}},
      {"an empty chunk between", {13, 0, 11}},
      {"long chunks through the shift buffer", {600001, 3, 700013}},
  };
  for (const Case& c : cases) {
    uint32_t seed = 12345;
    auto next_bit = [&] { return (seed = seed * 1103515245u + 12345u) >> 31; };
    MemorySink whole_sink, joined_sink;
    BitWriter whole(whole_sink);
    arjrt::BitJoiner joiner(joined_sink);
    for (uint32_t n : c.chunk_bits) {
      MemorySink chunk_sink;
      BitWriter chunk(chunk_sink);
      for (uint32_t i = 0; i < n; ++i) {
        const uint32_t bit = next_bit();
        whole.Put(1, bit);
        chunk.Put(1, bit);
      }
      ASSERT_EQ(chunk.Finish(), RESULT_OK);
      arjrt::PackedChunk packed{chunk_sink.bytes, n};
      ASSERT_EQ(joiner.Append(packed), RESULT_OK) << c.label;
    }
    ASSERT_EQ(whole.Finish(), RESULT_OK);
    ASSERT_EQ(joiner.Finish(), RESULT_OK);
    EXPECT_EQ(joined_sink.bytes, whole_sink.bytes) << c.label;
    EXPECT_EQ(joiner.bytes_written(), whole_sink.bytes.size()) << c.label;
  }
}

TEST(BitJoiner, RefusesAChunkClaimingMoreBitsThanItHolds) {
  MemorySink sink;
  arjrt::BitJoiner joiner(sink);
  EXPECT_EQ(joiner.Append(arjrt::PackedChunk{{0xFF}, 9}), ERR_BAD_PARAMETER);
  EXPECT_TRUE(sink.bytes.empty());
}

}  // namespace
