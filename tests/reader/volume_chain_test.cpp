#include "plugin/reader/volume_chain.h"

#include <gtest/gtest.h>

#include "plugin/reader/archive_open.h"

#include <algorithm>
#include <filesystem>
#include <string>

#include "plugin/format/arj_layout.h"
#include "tests/support/archive_builder.h"
#include "tests/support/archiver_fixture.h"
#include "tests/support/bytes.h"
#include "tests/support/files.h"
#include "tests/support/refusing_host.h"
#include "tests/support/test_host.h"

namespace {

using namespace testing_support;

// A volume of a set: its own entries, and optionally a part of a split file
// at its start (continued from the previous volume) and/or at its end.
Bytes Volume(const std::string& own_name, bool continues, const std::vector<HeaderSpec>& entries) {
  std::vector<Bytes> parts = {MainHeader(own_name, continues ? Bit(MainFlag::kContinuesInNext) : 0)};
  for (const HeaderSpec& e : entries) parts.push_back(BuildHeader(e));
  parts.push_back(EndMarker());
  return Concat(parts);
}

HeaderSpec Piece(const std::string& content, uint8_t flags) { return StoredEntry("big.bin", content, flags); }

std::vector<std::string> Opened(const TestHost& host) {
  std::vector<std::string> lines;
  for (const TraceLine& t : host.traces())
    if (t.text.rfind("arj\topen volume", 0) == 0 || t.text.rfind("arj\tvolumes 0", 0) == 0 ||
        t.text == "arj\tswitch to ok")
      lines.push_back(t.text);
  return lines;
}

class VolumeChain : public ::testing::Test {
 protected:
  // data.arj .. data.a05: volume v holds "v<v>.txt"; a file split over
  // volumes 2, 3 and 4 joins them.
  void MakeSet(std::initializer_list<int> missing = {}) {
    for (int v = 0; v <= 5; ++v) {
      bool skip = false;
      for (int m : missing) skip |= m == v;
      if (skip) continue;
      std::vector<HeaderSpec> entries;
      // A middle part fills its volume: a split part is always the last
      // entry of its volume and its continuation the first of the next.
      if (v == 3 || v == 4) entries.push_back(Piece("part" + std::to_string(v), Bit(EntryFlag::kContinuesPrevious) | (v == 3 ? Bit(EntryFlag::kContinuesInNext) : 0)));
      if (v != 3) entries.push_back(StoredEntry("v" + std::to_string(v) + ".txt", std::string(v + 1, 'x')));
      if (v == 2) entries.push_back(Piece("part2", Bit(EntryFlag::kContinuesInNext)));
      WriteFile(dir_.File(Name(v)), Volume(Name(v), v < 5, entries));
    }
  }
  static std::string Name(int v) {
    if (v == 0) return "data.arj";
    char ext[8];
    std::snprintf(ext, sizeof ext, "a%02d", v);
    return std::string("data.") + ext;
  }

  TempDir dir_;
  TestHost host_;
};

TEST_F(VolumeChain, DiscoveryFromAMiddleVolumeOpensTheOthersByName) {
  MakeSet();
  ArchiverFixture f(host_);
  ASSERT_EQ(f.OpenFile(dir_.File("data.a03"), 1), RESULT_OK);
  std::vector<std::string> expected = {
      "arj\tvolumes 0 to 3 (isize 9 - data.arj)", "arj\topen volume 0 result 0x00000000 (success)",
      "arj\topen volume 1 result 0x00000000 (success)", "arj\topen volume 2 result 0x00000000 (success)",
      "arj\topen volume 4 result 0x00000000 (success)", "arj\topen volume 5 result 0x00000000 (success)"};
  // Volume 5's main header ends the set: no volume 6 is looked for.
  EXPECT_EQ(Opened(host_), expected);
  ArchiverState& s = f.state();
  EXPECT_EQ(s.volume_count, 6u);
  EXPECT_EQ(s.volumes[3].io, f.io()) << "the archive's own volume is not opened again";
  EXPECT_EQ(s.entry_count, 8u);
  std::vector<uint64_t> handles = f.Handles();
  ASSERT_EQ(handles.size(), 6u);
  EXPECT_EQ(f.Name(handles[3]), "big.bin");
  EXPECT_EQ(f.Size(handles[3]), 15u) << "three parts of five bytes";
  EXPECT_EQ(s.incomplete, 0u);
  EXPECT_EQ(s.multi_volume, 1u);
  ASSERT_EQ(f.messages().size(), 6u) << "one digest per volume";
  // The volume handed over was digested when it was opened: the rescan's
  // digest of it is that one, and each is what its entries hash to.
  EXPECT_EQ(s.digested_volume, f.io());
  EXPECT_EQ(f.messages()[3].digest, s.archive_digest);
  for (uint32_t v = 0; v < 6; ++v)
    EXPECT_EQ(f.messages()[v].digest, DigestVolumeEntries(s.entries, s.digest, v, s.entry_count)) << v;
  // The rescan of the set hands the host every volume's headers, row by row
  // as the table holds them, each with the I/O of its volume.
  ASSERT_GE(f.headers().size(), 8u);
  const size_t rescan = f.headers().size() - 8;
  EXPECT_EQ(f.headers()[rescan].row, 0u) << "the rescan starts the rows over";
  for (uint32_t i = 0; i < 8; ++i) {
    const HeaderNotice& n = f.headers()[rescan + i];
    EXPECT_EQ(n.row, i);
    EXPECT_EQ(n.volume_io, s.entries[i].volume.io);
    EXPECT_EQ(n.offset, s.entries[i].header_offset);
    EXPECT_EQ(n.name, s.entries[i].name);
  }
  char name[32];
  uint32_t length = 0;
  ASSERT_EQ(f.Read(handles[3], PROP_VOLUME_NAME, name, sizeof name, &length), RESULT_OK);
  EXPECT_STREQ(name, "data.a02");
}

TEST_F(VolumeChain, AMissingFirstVolumeIsPassedOverAMissingMiddleOneEndsTheSet) {
  MakeSet({0});
  {
    ArchiverFixture f(host_);
    ASSERT_EQ(f.OpenFile(dir_.File("data.a02"), 1), RESULT_OK);
    EXPECT_EQ(f.state().volume_count, 5u) << "volumes 1 to 5";
    EXPECT_NE(std::find(Opened(host_).begin(), Opened(host_).end(), "arj\tswitch to ok"), Opened(host_).end());
  }
  TempDir gap;
  for (int v : {0, 3}) WriteFile(gap.File(Name(v)), Volume(Name(v), true, {StoredEntry("x", "y")}));
  ArchiverFixture g(host_);
  ASSERT_EQ(g.OpenFile(gap.File("data.a03"), 1), RESULT_OK);
  EXPECT_EQ(g.state().volume_count, 1u) << "volume 1 is missing: the set is volume 0 alone";
  EXPECT_EQ(g.state().volumes[0].io == g.io(), false);
}

TEST_F(VolumeChain, SingleVolumeModeAttachesWhatTheLastSplitEntryNeeds) {
  MakeSet();
  ArchiverFixture f(host_);
  ASSERT_EQ(f.OpenFile(dir_.File("data.a02"), 0), RESULT_OK);
  ArchiverState& s = f.state();
  EXPECT_EQ(s.volume_count, 3u) << "volumes 2, 3 and 4";
  EXPECT_EQ(s.entry_count, 4u) << "v2.txt, its split entry, and one part each of volumes 3 and 4";
  EXPECT_EQ(s.entries[2].header_offset, s.volumes[1].first_entry_offset);
  std::vector<uint64_t> handles = f.Handles();
  ASSERT_EQ(handles.size(), 2u);
  EXPECT_EQ(f.Size(handles[1]), 15u);
  EXPECT_EQ(s.incomplete, 0u);
}

TEST_F(VolumeChain, ABrokenChainUnwindsAndMarksTheArchiveIncomplete) {
  MakeSet({4});
  ArchiverFixture f(host_);
  ASSERT_EQ(f.OpenFile(dir_.File("data.a02"), 0), RESULT_OK);
  ArchiverState& s = f.state();
  EXPECT_EQ(s.entry_count, 2u) << "the part from volume 3 is taken off; the split entry stays listed";
  EXPECT_EQ(s.volume_count, 1u);
  EXPECT_EQ(s.incomplete, 1u);
  ASSERT_FALSE(f.messages().empty());
  EXPECT_EQ(f.messages().back().id, MSG_ARCHIVE_INCOMPLETE);
  ArchiverFixture g(host_);
  ASSERT_EQ(g.OpenFile(dir_.File("data.a03"), 1), RESULT_OK);
  EXPECT_EQ(g.state().incomplete, 1u) << "all volumes: the last entry continues into a missing one";
}

// A text that did not take the next volume's name still holds the one
// before: no volume may be opened under it a second time.
TEST_F(VolumeChain, ANameTheTextRefusesEndsTheSetThere) {
  MakeSet();
  {
    RefusingHost refusing(host_.root());
    refusing.RefuseTextFromBuffer(1);  // data.a01 goes through, data.a02 not
    ArchiverFixture f(host_);
    ASSERT_EQ(f.OpenFile(dir_.File("data.arj"), 1), RESULT_OK);
    EXPECT_EQ(f.state().volume_count, 2u);
    EXPECT_NE(f.state().volumes[1].io, f.state().volumes[0].io);
    EXPECT_EQ(refusing.refusals(), 1u);
  }
  // The volumes a split entry needs are attached while the archiver is
  // made: the refusal comes in for a second attachment from volume 2.
  ArchiverFixture f(host_);
  ASSERT_EQ(f.OpenFile(dir_.File("data.a02"), 0), RESULT_OK);
  ASSERT_EQ(f.state().volume_count, 3u);
  RefusingHost refusing(f.archiver());
  refusing.RefuseTextFromBuffer(1);  // data.a03 goes through, data.a04 not
  EXPECT_EQ(AttachNextVolume(f.archiver(), f.io()), kRefused);
  EXPECT_EQ(f.state().volume_count, 3u) << "the broken chain leaves nothing of it";
  EXPECT_EQ(refusing.refusals(), 1u);
}

// A volume that is there but cannot be read ends the set as a missing one
// does (or is passed over before any volume was found), but is noted and
// reported: the set is incomplete. A folder fails as it is opened, a file
// without a main header as that header is read.
TEST_F(VolumeChain, AVolumeThatCannotBeReadIsReportedNotPassedOverQuietly) {
  enum class Blocker { kFolder, kNoMainHeader, kEmptyFile };
  const struct {
    const char* label;
    int blocked;
    Blocker blocker;
    const char* named;
    uint32_t scan_all;
    uint32_t volumes;
    ResultCode cause;
  } cases[] = {
      {"a folder after the named volume", 2, Blocker::kFolder, "data.arj", 1, 2, ERR_UNSUPPORTED},
      {"a file without a main header", 2, Blocker::kNoMainHeader, "data.arj", 1, 2, ERR_CORRUPTED},
      {"an empty file", 4, Blocker::kEmptyFile, "data.a01", 1, 4, ERR_CORRUPTED},
      {"a folder between found volumes and the named one", 1, Blocker::kFolder, "data.a03", 1, 1, ERR_UNSUPPORTED},
      {"a folder before any volume is found", 0, Blocker::kFolder, "data.a02", 1, 5, ERR_UNSUPPORTED},
      {"the volume a split entry continues into, one volume read", 3, Blocker::kNoMainHeader, "data.a02", 0, 1,
       ERR_CORRUPTED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    for (const auto& file : std::filesystem::directory_iterator(dir_.path())) std::filesystem::remove_all(file.path());
    MakeSet({c.blocked});
    const std::string blocked = dir_.File(Name(c.blocked));
    if (c.blocker == Blocker::kFolder) std::filesystem::create_directory(blocked);
    if (c.blocker == Blocker::kNoMainHeader) WriteFile(blocked, ToBytes("not an ARJ volume at all"));
    if (c.blocker == Blocker::kEmptyFile) WriteFile(blocked, Bytes{});
    ArchiverFixture f(host_);
    ASSERT_EQ(f.OpenFile(dir_.File(c.named), c.scan_all), RESULT_OK);
    const ArchiverState& s = f.state();
    EXPECT_EQ(s.volume_count, c.volumes);
    EXPECT_EQ(s.incomplete, 1u);
    EXPECT_EQ(s.unreadable_cause, c.cause);
    EXPECT_STREQ(s.unreadable_volume, Name(c.blocked).c_str());
    EXPECT_EQ(std::count_if(f.messages().begin(), f.messages().end(),
                            [](const HostMessage& m) { return m.id == MSG_VOLUME_UNREADABLE; }),
              1);
  }
}

// The set ends with the volume whose main header says so: a file numbered
// after it is another archive, and when that is the one named, the set
// before it is not its set.
TEST_F(VolumeChain, AVolumeWhoseMainHeaderEndsTheSetEndsIt) {
  MakeSet();
  WriteFile(dir_.File("data.a06"), Volume("data.a06", false, {StoredEntry("other.txt", "another archive")}));
  WriteFile(dir_.File("data.a07"), Volume("data.a07", false, {StoredEntry("third.txt", "and a third")}));
  const struct {
    const char* named;
    uint32_t volumes;
    const char* first_entry;
  } cases[] = {{"data.arj", 6, "v0.txt"}, {"data.a05", 6, "v0.txt"}, {"data.a06", 1, "other.txt"},
               {"data.a07", 1, "third.txt"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.named);
    ArchiverFixture f(host_);
    ASSERT_EQ(f.OpenFile(dir_.File(c.named), 1), RESULT_OK);
    EXPECT_EQ(f.state().volume_count, c.volumes);
    EXPECT_EQ(f.state().incomplete, 0u);
    ASSERT_FALSE(f.Handles().empty());
    EXPECT_EQ(f.Name(f.Handles()[0]), c.first_entry);
  }
  // The volumes of sets passed over count to the bound: a folder of many
  // archives numbered before the named one costs no more than a set would.
  host_.runtime().limits().max_volumes = 7;
  ArchiverFixture bounded(host_);
  EXPECT_EQ(bounded.OpenFile(dir_.File("data.a07"), 1), ERR_LIMIT_EXCEEDED) << "seven passed over, and the named one";
  host_.runtime().limits().max_volumes = 8;
  ArchiverFixture within(host_);
  EXPECT_EQ(within.OpenFile(dir_.File("data.a07"), 1), RESULT_OK);
  host_.runtime().limits().max_volumes = 0;
}

TEST_F(VolumeChain, TheNextVolumeMayBeginWithTheEndMarker) {
  WriteFile(dir_.File("data.arj"), Volume("data.arj", true, {Piece("abc", Bit(EntryFlag::kContinuesInNext))}));
  WriteFile(dir_.File("data.a01"), Volume("data.a01", false, {}));
  ArchiverFixture f(host_);
  ASSERT_EQ(f.OpenFile(dir_.File("data.arj"), 0), RESULT_OK);
  EXPECT_EQ(f.state().entry_count, 1u);
  EXPECT_EQ(f.state().volume_count, 1u) << "a volume without entries does not count";
  EXPECT_EQ(f.Handles().size(), 1u) << "its continuation is missing, yet the entry is listed";
}

TEST_F(VolumeChain, NamesWithoutAVolumeNumber) {
  Bytes bytes = Volume("data.zip", true, {Piece("abc", Bit(EntryFlag::kContinuesInNext))});
  WriteFile(dir_.File("data.zip"), bytes);
  ArchiverFixture f(host_);
  ASSERT_EQ(f.OpenFile(dir_.File("data.zip"), 1), RESULT_OK);
  EXPECT_EQ(f.state().volume_count, 1u) << "discovery keeps the one volume it has";
  EXPECT_EQ(f.state().incomplete, 1u) << "the attach in OnInit failed on the name";
  EXPECT_EQ(f.state().entry_count, 1u) << "the second opening takes the split entry back";
  EXPECT_EQ(f.Handles().size(), 1u);
}

TEST_F(VolumeChain, ANegativeVolumeNumberIsNoVolumeNumber) {
  WriteFile(dir_.File("data.a-5"), Volume("data.a-5", false, {StoredEntry("a", "b")}));
  ArchiverFixture f(host_);
  ASSERT_EQ(f.OpenFile(dir_.File("data.a-5"), 1), RESULT_OK);
  EXPECT_EQ(f.state().volume_count, 1u);
  EXPECT_TRUE(Opened(host_).empty()) << "no volume is looked for";
}

TEST_F(VolumeChain, ANameLikeADateDoesNotCostMillionsOfOpens) {
  WriteFile(dir_.File("backup.20240101"), Volume("backup.20240101", false, {StoredEntry("a", "b")}));
  ArchiverFixture f(host_);
  ASSERT_EQ(f.OpenFile(dir_.File("backup.20240101"), 1), RESULT_OK);
  EXPECT_EQ(f.state().volume_count, 1u);
  EXPECT_EQ(f.state().entry_count, 1u);
  EXPECT_LT(Opened(host_).size(), 40u);
}

TEST_F(VolumeChain, VolumesPastNinetyNineAndPastNineHundredNinetyNine) {
  // Volume numbers carry on as .100 ... .999, .1000: the rewritten name is
  // one byte longer, which the text given to the file system must show.
  for (int v = 998; v <= 1001; ++v) {
    std::string name = "set." + std::to_string(v);
    WriteFile(dir_.File(name), Volume(name, v < 1001, {StoredEntry("f" + std::to_string(v), "x")}));
  }
  ArchiverFixture f(host_);
  ASSERT_EQ(f.OpenFile(dir_.File("set.998"), 0), RESULT_OK);
  ArchiverFixture g(host_);
  ASSERT_EQ(g.OpenFile(dir_.File("set.999"), 1), RESULT_OK);
  uint32_t found = 0;
  for (uint32_t i = 0; i < g.state().entry_count; ++i) found += std::string(g.state().entries[i].name) == "f1000";
  EXPECT_EQ(found, 1u);
}

TEST_F(VolumeChain, AFileSystemIsCreatedForANativeFileWithoutASource) {
  WriteFile(dir_.File("data.arj"), Volume("data.arj", true, {StoredEntry("a", "b")}));
  WriteFile(dir_.File("data.a01"), Volume("data.a01", false, {StoredEntry("c", "d")}));
  ObjectRef io = nullptr;
  ASSERT_EQ(host::CreateObject(host_.root(), &io, IID_BLOCK_IO, PID_NATIVE_FILE_IO), RESULT_OK);
  std::string path = dir_.File("data.arj");
  EXPECT_EQ(
      io->system->SetPropBuffer(io, nullptr, PROP_OBJECT_PATH, path.c_str(), static_cast<uint32_t>(path.size() + 1)),
      RESULT_OK);
  ASSERT_EQ(host::SetPropDWord(io, PROP_ACCESS_MODE, ACCESS_READ), RESULT_OK);
  ASSERT_EQ(host::SetPropDWord(io, PROP_OPEN_MODE, OPEN_EXISTING), RESULT_OK);
  ASSERT_EQ(host::CreateObjectDone(io), RESULT_OK);
  ObjectRef archiver = nullptr;
  ASSERT_EQ(host::CreateObject(io, &archiver, IID_MINIARCHIVER, PID_ARJ), RESULT_OK);
  EXPECT_EQ(host::SetPropDWord(archiver, PROP_SCAN_ALL_VOLUMES, 1), RESULT_OK);
  EXPECT_EQ(host::CreateObjectDone(archiver), RESULT_OK);
  EXPECT_EQ(StateOf(archiver).volume_count, 2u);
  EXPECT_EQ(StateOf(archiver).entry_count, 2u);
  host::CloseIfOpen(io);
}

}  // namespace
