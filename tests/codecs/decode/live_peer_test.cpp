// Archives fresh files with the installed arj, every method, and checks
// that each entry decodes byte for byte.
#include <gtest/gtest.h>

#include <map>

#include "tests/support/archive_parser.h"
#include "tests/support/bytes.h"
#include "tests/support/codec_bytes.h"
#include "tests/support/peers.h"
#include "tests/support/sample_data.h"

namespace {

using namespace testing_support;

std::vector<SampleFile> LiveFiles() {
  return {
      {"mixed.bin", MixedSample(1u << 20, 10)},  // past the dictionary and the output buffer
      {"empty.bin", {}},
      {"one.bin", {0x41}},
      {"dictionary.bin", PatternSample(26624, 21)},
      {"dictionary1.bin", PatternSample(26625, 22)},
      {"repetitive.txt", RepetitiveSample(300000)},
      {"zeros.bin", ZeroSample(200000)},
      {"random.bin", RandomSample(70000, 23)},
      {"text.txt", TextSample(150000, 24)},
  };
}

class LivePeerTest : public ::testing::TestWithParam<int> {};

TEST_P(LivePeerTest, DecodesWhatArjMade) {
  REQUIRE_PEER("arj");
  const int method = GetParam();
  const std::vector<SampleFile> files = LiveFiles();
  const auto image = ArchiveWithArj(files, method);
  ASSERT_TRUE(image) << "arj failed to make the archive";
  const ParsedArchive archive = ParseArchive(*image);
  ASSERT_TRUE(archive.ended);
  ASSERT_EQ(archive.entries.size(), files.size());

  std::map<std::string, const std::vector<uint8_t>*> by_name;
  for (const auto& f : files) by_name[f.name] = &f.bytes;
  for (const ParsedEntry& e : archive.entries) {
    SCOPED_TRACE(e.name + " method " + std::to_string(e.method()));
    ASSERT_TRUE(by_name.count(e.name));
    if (e.name == "mixed.bin" || e.name == "text.txt") {
      EXPECT_EQ(e.method(), static_cast<uint32_t>(method));
    }
    const DecodeOutcome o = DecodeBytes(e.method(), e.packed, e.original_size());
    ASSERT_EQ(o.result, RESULT_OK);
    EXPECT_EQ(o.written, e.original_size());
    EXPECT_EQ(Crc32Of(o.bytes), e.crc());
    EXPECT_TRUE(o.bytes == *by_name[e.name]);
    // Bytes after the stream: what arj accepts decodes, one more fails.
    for (uint64_t extra : {ArjToleratedUnused(e.method()), ArjToleratedUnused(e.method()) + 1}) {
      Bytes longer = e.packed;
      longer.resize(longer.size() + extra, 0x3C);
      const DecodeOutcome more = DecodeBytes(e.method(), longer, e.original_size());
      EXPECT_EQ(more.result, extra <= ArjToleratedUnused(e.method()) ? RESULT_OK : ERR_CORRUPTED) << extra;
      EXPECT_EQ(more.written, e.original_size());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, LivePeerTest, ::testing::Values(0, 1, 2, 3, 4),
                         [](const auto& info) { return std::string("m").append(std::to_string(info.param)); });

}  // namespace
