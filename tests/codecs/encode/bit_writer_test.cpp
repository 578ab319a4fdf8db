#include "runtime/codecs/encode/bit_writer.h"

#include <gtest/gtest.h>

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

}  // namespace
