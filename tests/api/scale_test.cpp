// Archives at the edges of scale: a volume set past the two-digit volume
// names, and entries reaching the 4 GiB boundary of 32-bit header offsets.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "plugin/format/arj_layout.h"
#include "runtime/api/archive.h"
#include "tests/support/api_status.h"
#include "tests/support/archive_builder.h"
#include "tests/support/bytes.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace testing_support {
namespace {

constexpr int kLastVolume = 102;  // data.arj, data.a01 .. data.a99, data.100 .. data.102

std::string VolumeName(int v) {
  if (v == 0) return "data.arj";
  char name[16];
  std::snprintf(name, sizeof name, v < 100 ? "data.a%02d" : "data.%03d", v);
  return name;
}

std::string Piece(int v) { return "piece " + std::to_string(v) + "\n"; }

class Scale : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(IsOk(host_.LoadPlugin(BuildPath("libarj_plugin.so"))));
  }
  std::unique_ptr<arjhost::Archive> Open(const std::string& path, bool scan_all = true) {
    arjhost::OpenOptions options;
    options.scan_all_volumes = scan_all;
    arjhost::OpenResult opened = arjhost::Archive::OpenFile(host_, path, options);
    error_ = opened.status.message;
    return std::move(opened.archive);
  }

  static std::string Extracted(arjhost::Archive& archive, const arjhost::EntryInfo& entry) {
    std::string out;
    const arjhost::ExtractResult result = archive.Extract(
        entry, [&](const uint8_t* d, size_t n) { return (out.append(reinterpret_cast<const char*>(d), n), true); },
        nullptr);
    EXPECT_TRUE(IsOk(result.status));
    return out;
  }

  arjhost::Host host_;
  TempDir dir_;
  std::string error_;
};

// One file split over 103 volumes, with a file of its own in the first and
// the last: found from any volume, and put together whole.
TEST_F(Scale, VolumeSetPastOneHundredVolumes) {
  std::string whole;
  for (int v = 0; v <= kLastVolume; ++v) {
    const uint8_t flags = (v > 0 ? Bit(EntryFlag::kContinuesPrevious) : 0) | (v < kLastVolume ? Bit(EntryFlag::kContinuesInNext) : 0);
    std::vector<Bytes> parts = {MainHeader(VolumeName(v), v < kLastVolume ? Bit(MainFlag::kContinuesInNext) : 0)};
    if (v == 0) parts.push_back(BuildHeader(StoredEntry("first.txt", "first")));
    parts.push_back(BuildHeader(StoredEntry("big.bin", Piece(v), flags)));
    if (v == kLastVolume) parts.push_back(BuildHeader(StoredEntry("last.txt", "last")));
    parts.push_back(EndMarker());
    WriteFile(dir_.File(VolumeName(v)), Concat(parts));
    whole += Piece(v);
  }
  for (int named : {0, 99, 100, kLastVolume}) {
    SCOPED_TRACE(VolumeName(named));
    auto archive = Open(dir_.File(VolumeName(named)));
    ASSERT_TRUE(archive) << error_;
    EXPECT_EQ(archive->state().volumes.size(), size_t{kLastVolume + 1});
    EXPECT_FALSE(archive->state().incomplete);
    const std::vector<arjhost::EntryInfo> entries = archive->Entries();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].name, "big.bin");
    EXPECT_EQ(entries[1].parts.size(), size_t{kLastVolume + 1});
    EXPECT_EQ(entries[2].volume.substr(entries[2].volume.size() - 8), "data.102");
    EXPECT_EQ(Extracted(*archive, entries[1]), whole);
  }
}

// The same from arj: 1.1 MB in 10 KB volumes is a set of more than 110,
// named .arj, .a01 .. .a99, .100, ...
TEST_F(Scale, ArjSetPastOneHundredVolumes) {
  REQUIRE_PEER("arj");
  std::string content;
  for (uint32_t x = 1; content.size() < 1'100'000;) content.push_back(static_cast<char>((x = x * 1103515245u + 12345u) >> 24));
  WriteFile(dir_.File("r.bin"), ToBytes(content));
  ASSERT_EQ(RunArj(dir_.path(), "a -m0 -v10K set.arj r.bin"), 0);
  for (const char* named : {"set.arj", "set.a99", "set.100", "set.105"}) {
    SCOPED_TRACE(named);
    auto archive = Open(dir_.File(named));
    ASSERT_TRUE(archive) << error_;
    EXPECT_GT(archive->state().volumes.size(), 110u);
    const std::vector<arjhost::EntryInfo> entries = archive->Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(Extracted(*archive, entries[0]) == content);
  }
}

// Two stored entries of 2 GiB each (sparse): the second one's data runs past
// 4 GiB, where 32-bit header offsets end, so it is refused as damaged. Where
// the next offset would wrap, inside the first entry's data, lies a bait
// header that must never be read.
TEST_F(Scale, HeaderPastFourGibIsDamageNotAWrappedOffset) {
  const std::string path = dir_.File("huge.arj");
  HeaderSpec big = StoredEntry("big1.bin", "");
  big.packed_override = int64_t{1} << 31;
  big.original_size = 1u << 31;
  const Bytes main = MainHeader("huge.arj");
  const Bytes first = BuildHeader(big);
  big.name = "big2.bin";
  const Bytes second = BuildHeader(big);
  const Bytes bait = BuildHeader(StoredEntry("bait.txt", "wrapped"));
  const Bytes beyond = Concat({BuildHeader(StoredEntry("beyond.txt", "past 4 GiB")), EndMarker()});

  const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  auto put = [&](const Bytes& b, uint64_t at) {
    ASSERT_EQ(::pwrite(fd, b.data(), b.size(), static_cast<off_t>(at)), static_cast<ssize_t>(b.size()));
  };
  const uint64_t first_data = main.size() + first.size();
  const uint64_t second_at = first_data + (uint64_t{1} << 31);
  const uint64_t next_at = second_at + second.size() + (uint64_t{1} << 31);
  ASSERT_GT(next_at, uint64_t{1} << 32);
  put(main, 0);
  put(first, main.size());
  put(second, second_at);
  put(bait, next_at - (uint64_t{1} << 32));  // inside the first entry's data
  put(beyond, next_at);
  ::close(fd);

  auto archive = Open(path, false);
  ASSERT_TRUE(archive) << error_;
  const std::vector<arjhost::EntryInfo> entries = archive->Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "big1.bin");
  EXPECT_EQ(entries[0].size, uint64_t{1} << 31);
  EXPECT_TRUE(archive->state().damaged);
}

}  // namespace
}  // namespace testing_support
