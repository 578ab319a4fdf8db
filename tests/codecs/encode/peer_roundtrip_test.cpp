// Archives made around our packed data must pass the peers' tests and
// extract to the original bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "plugin/format/crc32.h"
#include "tests/codecs/encode/encode_bytes.h"
#include "tests/codecs/encode/peer_tools.h"
#include "tests/codecs/encode/sample_data.h"
#include "tests/codecs/encode/single_entry_archive.h"

namespace {

namespace fs = std::filesystem;
using arjtest::RunQuietly;

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
      {"dictionary size", arjtest::TextLike(26624, 1)},
      {"mixed 1 MiB", arjtest::MixedData(1 << 20, 2)},
      {"repetitive", Repeated(arjtest::TextLike(37, 3), 8000)},
      {"random", arjtest::RandomBytes(300000, 4)},
      {"byte runs", ByteRuns()},
      // Repeats at exactly the farthest distance each format reaches.
      {"lzh distance edge", Repeated(arjtest::RandomBytes(26624, 5), 3)},
      {"fast distance edge", Repeated(arjtest::RandomBytes(15872, 6), 3)},
      // Packed in chunks that are joined: matches reach back across the
      // chunk bounds, which fall at any bit of a byte.
      {"mixed across chunks", arjtest::MixedData((5 << 20) / 2, 7)},
      {"repeats across chunks", Repeated(arjtest::RandomBytes(26624, 8), 50)},
  };
  return samples;
}

class PeerRoundTrip : public ::testing::TestWithParam<uint32_t> {};

TEST_P(PeerRoundTrip, PeersTestAndExtractTheOriginal) {
  REQUIRE_PEER_TOOL("arj");
  REQUIRE_PEER_TOOL("7zz");
  const uint32_t method = GetParam();
  for (const Sample& s : Samples()) {
    SCOPED_TRACE(s.label);
    const auto e = arjtest::EncodeBytes(method, s.data);
    ASSERT_EQ(e.result, RESULT_OK);
    arjtest::EntryInfo entry;
    entry.name = "data.bin";
    entry.method = static_cast<uint8_t>(method);
    entry.original_size = static_cast<uint32_t>(s.data.size());
    entry.crc32 = Crc32Update(s.data.size(), s.data.data(), 0);

    arjtest::ScratchDir dir;
    const fs::path archive = dir.path() / "test.arj";
    arjtest::WriteFileBytes(archive, arjtest::SingleEntryArchive(entry, e.packed));
    const std::string a = "'" + archive.string() + "'";
    EXPECT_EQ(RunQuietly("arj t -y " + a), 0) << "arj t";
    EXPECT_EQ(RunQuietly("7zz t " + a), 0) << "7zz t";

    const fs::path by_arj = dir.path() / "arj-out";
    const fs::path by_7z = dir.path() / "7z-out";
    fs::create_directory(by_arj);
    EXPECT_EQ(RunQuietly("cd '" + by_arj.string() + "' && arj e -y " + a), 0) << "arj e";
    EXPECT_EQ(RunQuietly("7zz x -y '-o" + by_7z.string() + "' " + a), 0) << "7zz x";
    for (const fs::path& out : {by_arj / "data.bin", by_7z / "data.bin"}) {
      ASSERT_TRUE(fs::exists(out)) << out;
      EXPECT_TRUE(arjtest::ReadFileBytes(out) == s.data) << out << " differs";
    }
  }
}

// Packed size of the first entry of an archive whose main header has no
// extended header, as arj writes it.
uint32_t FirstEntryPackedSize(const std::vector<uint8_t>& a) {
  auto u16 = [&](size_t at) { return static_cast<uint32_t>(a.at(at) | (a.at(at + 1) << 8)); };
  const size_t local = 4 + u16(2) + 4 + 2;
  EXPECT_EQ(u16(local), 0xEA60u);
  const size_t basic = local + 4;
  return u16(basic + 12) | (u16(basic + 14) << 16);
}

// The encoder must pack at least as small as arj's own methods 1..3 and
// stay close to its method 4.
class PeerSize : public ::testing::TestWithParam<uint32_t> {};

TEST_P(PeerSize, PacksNoWorseThanArj) {
  const uint32_t method = GetParam();
  REQUIRE_PEER_TOOL("arj");
  // arj stores an entry whose start does not compress, so begin with text.
  auto data = arjtest::TextLike(256 << 10, 12);
  for (const auto& part : {arjtest::BinaryLike(256 << 10, 13), arjtest::MixedData(512 << 10, 11)}) {
    data.insert(data.end(), part.begin(), part.end());
  }
  arjtest::ScratchDir dir;
  fs::create_directory(dir.path() / "in");
  arjtest::WriteFileBytes(dir.path() / "in" / "data.bin", data);
  ASSERT_EQ(RunQuietly("cd '" + (dir.path() / "in").string() + "' && arj a -y -m" + std::to_string(method) +
                       " ../peer.arj '*'"),
            0);
  const uint32_t theirs = FirstEntryPackedSize(arjtest::ReadFileBytes(dir.path() / "peer.arj"));
  const size_t ours = arjtest::EncodeBytes(method, data).packed.size();
  EXPECT_LE(ours, theirs) << "arj -m" << method;
  std::printf("method %u: ours %zu, arj %u bytes\n", method, ours, theirs);
}

std::string MethodName(const ::testing::TestParamInfo<uint32_t>& info) {
  return "Method" + std::to_string(info.param);
}

INSTANTIATE_TEST_SUITE_P(Methods, PeerRoundTrip, ::testing::Values(0u, 1u, 2u, 3u, 4u), MethodName);
INSTANTIATE_TEST_SUITE_P(Methods, PeerSize, ::testing::Values(1u, 2u, 3u, 4u), MethodName);

}  // namespace
