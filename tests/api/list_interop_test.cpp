// Our listing against the peers' on archives they make from fresh files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <random>

#include "runtime/api/archive.h"
#include "plugin/format/crc32.h"
#include "tests/support/api_status.h"
#include "tests/support/bytes.h"
#include "tests/support/commands.h"
#include "tests/support/files.h"
#include "tests/support/tool_runner.h"
#include "tests/support/peers.h"

namespace {

using namespace testing_support;

void MakeFiles(const std::string& dir, uint32_t seed) {
  std::mt19937 rng(seed);
  const size_t sizes[] = {0, 1, 100, 5000, 26624, 70000};
  int n = 0;
  for (size_t size : sizes) {
    Bytes b(size);
    bool text = (n % 2) == 0;
    for (size_t i = 0; i < size; ++i) b[i] = text ? static_cast<uint8_t>("abcde \n"[rng() % 7]) : static_cast<uint8_t>(rng());
    WriteFile(dir + "/file" + std::to_string(n++) + (text ? ".txt" : ".bin"), b);
  }
  std::filesystem::create_directories(dir + "/sub");
  WriteFile(dir + "/sub/nested.txt", ToBytes("nested file\n"));
}

// What the peer shows, folded into logical entries: consecutive parts of a
// split file (the same name at the end of one volume and the start of the
// next) are one entry, with the first part's volume and each part's CRC.
struct Logical {
  std::string name, volume;
  uint64_t size = 0, packed = 0;
  uint32_t crc = 0, method = 0;
  bool garbled = false;
  std::vector<uint32_t> part_crcs;
};

std::vector<Logical> PeerListing(const std::vector<std::string>& volume_paths) {
  std::vector<Logical> out;
  bool previous_was_last = false;
  for (const std::string& path : volume_paths) {
    std::vector<PeerEntry> entries = ListWith7zz(path);
    std::string volume = std::filesystem::path(path).filename();
    for (size_t i = 0; i < entries.size(); ++i) {
      const PeerEntry& e = entries[i];
      if (i == 0 && previous_was_last && !out.empty() && out.back().name == e.path) {
        out.back().size += e.size;
        out.back().packed += e.packed;
        out.back().part_crcs.push_back(e.crc);
      } else {
        out.push_back({e.path, volume_paths.size() > 1 ? volume : "", e.size, e.packed, e.crc, e.method, e.encrypted,
                       {e.crc}});
      }
    }
    previous_was_last = !entries.empty();
  }
  return out;
}

void ExpectSameListing(const std::string& archive, bool scan_all, const std::vector<Logical>& expected,
                       uint64_t* digest = nullptr) {
  arjhost::Host host;
  ASSERT_TRUE(IsOk(host.LoadPlugin(BuildPath("libarj_plugin.so"))));
  arjhost::OpenOptions options;
  options.scan_all_volumes = scan_all;
  arjhost::OpenResult result = arjhost::Archive::OpenFile(host, archive, options);
  ASSERT_TRUE(IsOk(result.status));
  const std::unique_ptr<arjhost::Archive>& opened = result.archive;
  EXPECT_FALSE(opened->state().damaged);
  EXPECT_FALSE(opened->state().incomplete);
  if (digest != nullptr) *digest = opened->state().digest;
  std::vector<arjhost::EntryInfo> ours = opened->Entries();
  ASSERT_EQ(ours.size(), expected.size()) << archive;
  for (size_t i = 0; i < ours.size(); ++i) {
    SCOPED_TRACE(archive + ": " + expected[i].name);
    EXPECT_EQ(ours[i].name, expected[i].name);
    EXPECT_EQ(ours[i].size, expected[i].size);
    EXPECT_EQ(ours[i].packed, expected[i].packed);
    EXPECT_EQ(ours[i].crc, expected[i].crc);
    EXPECT_EQ(arjhost::format::Byte(ours[i].method), expected[i].method);
    EXPECT_EQ(ours[i].garbled, expected[i].garbled);
    EXPECT_EQ(ours[i].volume, expected[i].volume);
    std::vector<uint32_t> part_crcs;
    for (const arjhost::EntryInfo::Part& p : ours[i].parts) part_crcs.push_back(p.crc);
    EXPECT_EQ(part_crcs, expected[i].part_crcs);
  }
}

TEST(ListInterop, SingleVolumeArchivesOfEveryMethodAndGarbled) {
  REQUIRE_PEER("arj");
  REQUIRE_PEER("7zz");
  TempDir dir;
  std::string src = dir.File("src");
  std::filesystem::create_directories(src);
  MakeFiles(src, 1);
  int n = 0;
  for (const char* options : {"-m0", "-m1", "-m2", "-m3", "-m4", "-m1 -gpass"}) {
    std::string archive = dir.File("out" + std::to_string(n++) + ".arj");
    ASSERT_EQ(RunArj(src, std::string("a -r ") + options + " '" + archive + "' '*'"), 0) << options;
    ExpectSameListing(archive, true, PeerListing({archive}));
    ExpectSameListing(archive, false, PeerListing({archive}));
  }
}

TEST(ListInterop, MultiVolumeSetsWhicheverVolumeIsNamed) {
  REQUIRE_PEER("arj");
  REQUIRE_PEER("7zz");
  TempDir dir;
  std::string src = dir.File("src");
  std::filesystem::create_directories(src);
  MakeFiles(src, 2);
  std::string archive = dir.File("set.arj");
  ASSERT_EQ(RunArj(src, "a -r -m0 -v40k '" + archive + "' '*'"), 0);
  std::vector<std::string> volumes = {archive};
  for (int v = 1; std::filesystem::exists(dir.File("set.a0" + std::to_string(v))); ++v)
    volumes.push_back(dir.File("set.a0" + std::to_string(v)));
  ASSERT_GE(volumes.size(), 3u);
  std::vector<Logical> expected = PeerListing(volumes);
  // A split file's CRC is that of the whole file, not of its first part.
  size_t split = 0;
  for (Logical& e : expected)
    if (e.part_crcs.size() > 1) {
      const Bytes whole = ReadFile(src + "/" + e.name);
      e.crc = Crc32Update(whole.size(), whole.data(), 0);
      ++split;
    }
  EXPECT_GE(split, 1u);
  // The same listing and the same digest, whichever volume is named.
  std::vector<uint64_t> digests(volumes.size());
  for (size_t v = 0; v < volumes.size(); ++v) ExpectSameListing(volumes[v], true, expected, &digests[v]);
  EXPECT_EQ(std::count(digests.begin(), digests.end(), digests[0]), static_cast<long>(volumes.size()));
}

// list -v shows the fields 7zz l -slt shows, with the same values, and
// what only the headers tell (times arj 3 stores, header CRC state).
TEST(ListInterop, TechnicalListingAgreesWith7zz) {
  REQUIRE_PEER("arj");
  REQUIRE_PEER("7zz");
  TempDir dir;
  const std::string src = dir.File("src");
  std::filesystem::create_directories(src);
  MakeFiles(src, 3);
  int n = 0;
  for (const char* options : {"-m1", "-m4 -gpass"}) {
    const std::string archive = dir.File("fields" + std::to_string(n++) + ".arj");
    ASSERT_EQ(RunArj(src, std::string("a -r ") + options + " '" + archive + "' '*'"), 0) << options;
    std::string ours, theirs;
    ASSERT_EQ(RunCommand(Tool() + " list -v '" + archive + "'", &ours), 0) << ours;
    RunCommand("7zz l -slt '" + archive + "'", &theirs);
    const auto our_blocks = FieldBlocks(ours), their_blocks = FieldBlocks(theirs, "----------");
    ASSERT_EQ(our_blocks.size(), their_blocks.size()) << ours << theirs;
    for (size_t i = 0; i < our_blocks.size(); ++i) {
      auto mine = our_blocks[i], peer = their_blocks[i];
      SCOPED_TRACE(peer["Path"]);
      mine["Host OS"] = mine["Host OS"].substr(0, mine["Host OS"].find(" ("));  // "UNIX (2)": the number is ours
      for (char& c : peer["CRC"]) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      // Not "Modified": 7zz reads the time of an entry made on UNIX as a DOS
      // time (a date years ahead); ours is the time arj itself extracts.
      for (const char* key : {"Path", "Folder", "Size", "Packed Size", "Encrypted", "CRC", "Method", "Host OS"})
        EXPECT_EQ(mine[key], peer[key]) << key;
      EXPECT_EQ(mine["Accessed"].size(), 19u) << "arj 3 stores the access time";
      EXPECT_EQ(mine["Header CRC"], "ok");
    }
  }
}

}  // namespace
