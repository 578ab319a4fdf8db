// The archives under data/ were made by the arj peer (make_data.sh) from
// CheckedInSamples(); every entry must decode to those bytes.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "tests/support/archive_parser.h"
#include "tests/support/bytes.h"
#include "tests/support/codec_bytes.h"
#include "tests/support/files.h"
#include "tests/support/sample_data.h"

namespace {

using namespace testing_support;

struct Case {
  int method;
  size_t max_read;  // how the source splits the packed bytes
};

class CheckedInArchiveTest : public ::testing::TestWithParam<Case> {};

TEST_P(CheckedInArchiveTest, EveryEntryDecodesToItsSample) {
  const Case c = GetParam();
  const std::string path = SourcePath("tests/codecs/decode/data/sample-m" + std::to_string(c.method) + ".arj");
  const ParsedArchive archive = ParseArchive(ReadFile(path));
  ASSERT_TRUE(archive.ended) << path;
  const std::vector<ParsedEntry>& entries = archive.entries;

  std::map<std::string, std::vector<uint8_t>> samples;
  for (auto& f : CheckedInSamples()) samples[f.name] = std::move(f.bytes);
  ASSERT_EQ(entries.size(), samples.size());

  std::set<uint32_t> methods;
  for (const ParsedEntry& e : entries) {
    SCOPED_TRACE(e.name);
    methods.insert(e.method());
    const auto expected = samples.find(e.name);
    ASSERT_NE(expected, samples.end());
    const DecodeOutcome o = DecodeBytes(e.method(), e.packed, e.original_size(), c.max_read);
    ASSERT_EQ(o.result, RESULT_OK);
    EXPECT_EQ(o.written, e.original_size());
    EXPECT_EQ(Crc32Of(o.bytes), e.crc());
    EXPECT_TRUE(o.bytes == expected->second);
  }
  // arj stores what does not compress; the rest must use the method asked for.
  EXPECT_TRUE(methods.count(static_cast<uint32_t>(c.method)));
}

INSTANTIATE_TEST_SUITE_P(Methods, CheckedInArchiveTest,
                         ::testing::Values(Case{0, SIZE_MAX}, Case{1, SIZE_MAX}, Case{2, SIZE_MAX},
                                           Case{3, SIZE_MAX}, Case{4, SIZE_MAX}, Case{0, 7},
                                           Case{1, 1}, Case{3, 13}, Case{4, 1}, Case{4, 13}),
                         [](const auto& info) {
                           std::string name = std::string("m").append(std::to_string(info.param.method));
                           name += "_read";
                           name += info.param.max_read == SIZE_MAX ? std::string("all")
                                                                   : std::to_string(info.param.max_read);
                           return name;
                         });

}  // namespace
