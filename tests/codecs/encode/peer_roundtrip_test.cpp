// Archives made around our packed data must pass the peers' tests and
// extract to the original bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "plugin/format/crc32.h"
#include "tests/support/archive_builder.h"
#include "tests/support/archive_parser.h"
#include "tests/support/bytes.h"
#include "tests/support/codec_bytes.h"
#include "tests/support/commands.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"
#include "tests/support/sample_data.h"
#include "tests/support/sanitizers.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;

struct Sample {
  std::string label;
  std::vector<uint8_t> data;
};

std::vector<uint8_t> Repeated(const std::vector<uint8_t>& unit, size_t times) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < times; ++i) out.insert(out.end(), unit.begin(), unit.end());
  return out;
}

std::vector<uint8_t> ByteRuns() {
  std::vector<uint8_t> out(150000, 0);
  for (uint32_t len = 1; len < 1200; len = len * 3 / 2 + 1) out.insert(out.end(), len, static_cast<uint8_t>(len));
  out.insert(out.end(), 70000, 0xFF);
  return out;
}

const std::vector<Sample>& Samples() {
  static const std::vector<Sample> samples{
      {"empty", {}},
      {"one byte", {0x41}},
      {"three bytes", {0x00, 0xFF, 0x00}},
      {"dictionary size", TextLike(26624, 1)},
      {"mixed 1 MiB", MixedData(1 << 20, 2)},
      {"repetitive", Repeated(TextLike(37, 3), 8000)},
      {"random", RandomSample(300000, 4)},
      {"byte runs", ByteRuns()},
      // Repeats at exactly the farthest distance each format reaches.
      {"lzh distance edge", Repeated(RandomSample(26624, 5), 3)},
      {"fast distance edge", Repeated(RandomSample(15872, 6), 3)},
      // Packed in chunks that are joined: matches reach back across the
      // chunk bounds, which fall at any bit of a byte.
      {"mixed across chunks", MixedData((5 << 20) / 2, 7)},
      {"repeats across chunks", Repeated(RandomSample(26624, 8), 50)},
      // Long matches found on the long chain, across a chunk bound.
      {"few words across chunks", FewWords((1 << 20) + 300000, 9)},
  };
  return samples;
}

class PeerRoundTrip : public ::testing::TestWithParam<uint32_t> {};

TEST_P(PeerRoundTrip, PeersTestAndExtractTheOriginal) {
  REQUIRE_PEER("arj");
  REQUIRE_PEER("7zz");
  const uint32_t method = GetParam();
  for (const Sample& s : Samples()) {
    SCOPED_TRACE(s.label);
    const auto e = EncodeBytes(method, s.data);
    ASSERT_EQ(e.result, RESULT_OK);
    if (kUnderSanitizers) {
      // The encoder's bytes do not depend on the build: the peers judge them
      // in the plain one. Here the encoder runs under the sanitizers, and
      // our decoder checks what it packed.
      const auto d = DecodeBytes(method, e.packed, s.data.size());
      ASSERT_EQ(d.result, RESULT_OK);
      EXPECT_TRUE(d.bytes == s.data) << "does not round-trip";
      continue;
    }
    const HeaderSpec entry = PackedEntry("data.bin", static_cast<uint8_t>(method), s.data, e.packed);

    TempDir dir;
    const std::string archive = dir.File("test.arj");
    WriteFile(archive, Concat({MainHeader(), BuildHeader(entry), EndMarker()}));
    const std::string a = Quote(archive);
    EXPECT_EQ(RunArj(dir.path(), "t " + a), 0) << "arj t";
    // 7zz x checks what 7zz t checks, and gives the bytes.

    const std::string by_arj = dir.File("arj-out");
    const std::string by_7z = dir.File("7z-out");
    fs::create_directory(by_arj);
    EXPECT_EQ(RunArj(by_arj, "e " + a), 0) << "arj e";
    EXPECT_EQ(Run7zz(dir.path(), "x -y " + Quote("-o" + by_7z) + " " + a), 0) << "7zz x";
    for (const std::string& out : {by_arj + "/data.bin", by_7z + "/data.bin"}) {
      ASSERT_TRUE(fs::exists(out)) << out;
      EXPECT_TRUE(ReadFile(out) == s.data) << out << " differs";
    }
  }
}

// The encoder must pack at least as small as arj's own methods.
class PeerSize : public ::testing::TestWithParam<uint32_t> {};

TEST_P(PeerSize, PacksNoWorseThanArj) {
  SKIP_UNDER_SANITIZERS();
  const uint32_t method = GetParam();
  REQUIRE_PEER("arj");
  // arj stores an entry whose start does not compress, so begin with text.
  auto mixed = TextLike(256 << 10, 12);
  for (const auto& part : {BinaryLike(256 << 10, 13), MixedData(512 << 10, 11)}) {
    mixed.insert(mixed.end(), part.begin(), part.end());
  }
  // Text of few words: where arj's methods 1 and 4 packed tighter than ours.
  const std::pair<const char*, std::vector<uint8_t>> inputs[] = {{"mixed", mixed},
                                                                 {"few words", FewWords(1 << 20, 14)}};
  for (const auto& [label, data] : inputs) {
    TempDir dir;
    fs::create_directory(dir.File("in"));
    WriteFile(dir.File("in/data.bin"), data);
    ASSERT_EQ(RunArj(dir.File("in"), "a -m" + std::to_string(method) + " ../peer.arj '*'"), 0);
    const ParsedArchive peer = ParseArchive(ReadFile(dir.File("peer.arj")));
    ASSERT_EQ(peer.entries.size(), 1u);
    const size_t theirs = peer.entries[0].packed.size();
    const size_t ours = EncodeBytes(method, data).packed.size();
    EXPECT_LE(ours, theirs) << label << ", arj -m" << method;
    std::printf("%s, method %u: ours %zu, arj %zu bytes\n", label, method, ours, theirs);
  }
}

std::string MethodName(const ::testing::TestParamInfo<uint32_t>& info) {
  return "Method" + std::to_string(info.param);
}

INSTANTIATE_TEST_SUITE_P(Methods, PeerRoundTrip, ::testing::Values(0u, 1u, 2u, 3u, 4u), MethodName);
INSTANTIATE_TEST_SUITE_P(Methods, PeerSize, ::testing::Values(1u, 2u, 3u, 4u), MethodName);

}  // namespace
