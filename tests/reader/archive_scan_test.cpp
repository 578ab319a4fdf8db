#include <gtest/gtest.h>

#include <string>

#include "plugin/reader/archive_open.h"
#include "plugin/format/arj_layout.h"
#include "plugin/state/state_tables.h"
#include "tests/support/archive_builder.h"
#include "tests/support/archiver_fixture.h"

namespace {

using namespace testing_support;

Bytes ThreeEntries() {
  return Concat({MainHeader(), BuildHeader(StoredEntry("one.txt", "first")),
                 BuildHeader(StoredEntry("two.txt", "second entry")), BuildHeader(StoredEntry("three.txt", "3")),
                 EndMarker()});
}

TEST(ArchiveScan, ASingleVolumeArchive) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenMemory(ThreeEntries()), RESULT_OK);
  ArchiverState& s = f.state();
  EXPECT_EQ(s.volume_count, 1u);
  EXPECT_EQ(s.entry_count, 3u);
  EXPECT_EQ(s.multi_volume, 0u);
  EXPECT_EQ(s.restricted, 0u);
  EXPECT_EQ(s.capabilities, kCapabilitiesAfterInitDone);
  ASSERT_EQ(f.messages().size(), 1u);
  EXPECT_EQ(f.messages()[0].id, MSG_VOLUME_DIGEST);
  EXPECT_EQ(f.messages()[0].context, f.io());
  EXPECT_EQ(f.messages()[0].digest, s.archive_digest) << "volume 0's digest is the archive digest";
  EXPECT_EQ(s.entries[1].header_offset, s.entries[0].data_offset + 5);
  EXPECT_EQ(s.entries[0].volume.io, f.io());
  EXPECT_EQ(s.entries[2].volume.entries, 2u) << "the volume copy as it stood before the entry";
  EXPECT_EQ(f.Handles(), (std::vector<uint64_t>{1, 2, 3}));
  EXPECT_EQ(f.Name(2), "two.txt");
  // Each header the table took is handed to the host as it is read, by row,
  // so that the host need not read the headers again.
  ASSERT_EQ(f.headers().size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    const HeaderNotice& n = f.headers()[i];
    EXPECT_EQ(n.row, i);
    EXPECT_EQ(n.volume_io, f.io());
    EXPECT_EQ(n.offset, s.entries[i].header_offset);
    EXPECT_EQ(n.name, s.entries[i].name);
  }
}

TEST(ArchiveScan, TheDigestCoversTheImageOfEveryEntry) {
  TestHost host;
  ArchiverFixture a(host), b(host);
  Bytes one = ThreeEntries();
  Bytes two = one;
  two[two.size() - 10] ^= 1;  // packed data only: the headers, and so the digest, stay
  ASSERT_EQ(a.OpenMemory(one), RESULT_OK);
  ASSERT_EQ(b.OpenMemory(two), RESULT_OK);
  EXPECT_EQ(a.state().archive_digest, b.state().archive_digest);
  ArchiverFixture c(host);
  Bytes renamed = Concat({MainHeader(), BuildHeader(StoredEntry("one.txu", "first")),
                          BuildHeader(StoredEntry("two.txt", "second entry")),
                          BuildHeader(StoredEntry("three.txt", "3")), EndMarker()});
  ASSERT_EQ(c.OpenMemory(renamed), RESULT_OK);
  EXPECT_NE(a.state().archive_digest, c.state().archive_digest);
}

// A digest object that fails a step gives no digest, not one of fewer bytes.
TEST(ArchiveScan, ADigestThatFailsAStepGivesNone) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenMemory(ThreeEntries()), RESULT_OK);
  ArchiverState& s = f.state();
  const DigestMethods real = host::Digest(s.digest);
  ASSERT_EQ(DigestVolumeEntries(s.entries, s.digest, 0, s.entry_count), s.archive_digest);
  const auto fail_reset = +[](ObjectRef) -> ResultCode { return ERR_IO; };
  const auto fail_update = +[](ObjectRef, const void*, uint32_t) -> ResultCode { return ERR_IO; };
  const auto fail_final = +[](ObjectRef, void*, uint32_t) -> ResultCode { return ERR_IO; };
  const DigestMethods failing[] = {
      {fail_reset, real.DigestUpdate, real.DigestFinal},
      {real.DigestReset, fail_update, real.DigestFinal},
      {real.DigestReset, real.DigestUpdate, fail_final},
  };
  const void* methods = s.digest->methods;
  for (const DigestMethods& m : failing) {
    s.digest->methods = &m;
    EXPECT_EQ(DigestVolumeEntries(s.entries, s.digest, 0, s.entry_count), kNoArchiveDigest);
  }
  s.digest->methods = methods;
}

TEST(ArchiveScan, DamagedHeadersEndTheScanWithAWarning) {
  TestHost host;
  Bytes good = ThreeEntries();
  Bytes bad_id = good;
  size_t second = static_cast<size_t>(0);
  {
    ArchiverFixture f(host);
    ASSERT_EQ(f.OpenMemory(good), RESULT_OK);
    second = f.state().entries[1].header_offset;
  }
  bad_id[second] = 0x61;
  const struct {
    Bytes bytes;
    uint32_t entries;
  } cases[] = {
      {bad_id, 1},
      {Bytes(good.begin(), good.end() - 4), 3},  // no end marker
      {Bytes(good.begin(), good.end() - 5), 3},  // the last entry's data cut short
      {Bytes(good.begin(), good.end() - 6), 2},  // the last header cut inside its extended-header chain
  };
  for (const auto& c : cases) {
    ArchiverFixture f(host);
    EXPECT_EQ(f.OpenMemory(c.bytes), WARN_CORRUPTED);
    EXPECT_EQ(f.state().entry_count, c.entries);
    EXPECT_EQ(f.state().damaged, 1u);
    EXPECT_EQ(f.state().restricted, 1u);
    EXPECT_EQ(f.state().capabilities, kCapabilitiesRestricted);
  }
}

TEST(ArchiveScan, HostileSizesNeitherSpinNorReadOutside) {
  TestHost host;
  // A packed size that would lead the next position back over 4 GiB to the header itself.
  HeaderSpec loop = StoredEntry("loop", "");
  Bytes header = BuildHeader(loop);
  loop.packed_override = static_cast<int64_t>(0x100000000ull - header.size());
  HeaderSpec beyond = StoredEntry("beyond", "");
  beyond.packed_override = 1 << 20;
  for (const Bytes& bytes : {Concat({MainHeader(), BuildHeader(loop), EndMarker()}),
                             Concat({MainHeader(), BuildHeader(beyond), EndMarker()})}) {
    ArchiverFixture f(host);
    EXPECT_EQ(f.OpenMemory(bytes), WARN_CORRUPTED);
    EXPECT_LE(f.state().entry_count, 1u);
  }
  ArchiverFixture g(host);
  EXPECT_EQ(g.OpenMemory(Concat({MainHeader(), BuildHeader(loop), EndMarker()})), WARN_CORRUPTED);
  EXPECT_EQ(g.state().entry_count, 0u) << "a header whose data would wrap is not taken";
}

TEST(ArchiveScan, TheTableAlwaysKeepsTenFreeSlots) {
  TestHost host;
  std::vector<Bytes> parts = {MainHeader()};
  for (int i = 0; i < 21; ++i) parts.push_back(BuildHeader(StoredEntry("f" + std::to_string(i), "x")));
  parts.push_back(EndMarker());
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenMemory(Concat(parts)), RESULT_OK);
  EXPECT_EQ(f.state().entry_count, 21u);
  EXPECT_EQ(f.Name(21), "f20");
  EXPECT_EQ(f.Handles().size(), 21u);
}

TEST(ArchiveScan, AnArchiveThatSaysItContinuesButHoldsNoSplitEntry) {
  TestHost host;
  ArchiverFixture f(host);
  Bytes bytes = Concat({MainHeader("test.arj", Bit(MainFlag::kContinuesInNext)), BuildHeader(StoredEntry("a", "aa")), EndMarker()});
  ASSERT_EQ(f.OpenMemory(bytes), RESULT_OK);
  EXPECT_EQ(f.state().multi_volume, 1u);
  EXPECT_EQ(f.state().restricted, 1u);
  EXPECT_EQ(f.state().capabilities, kCapabilitiesRestricted);
  EXPECT_EQ(f.state().incomplete, 0u);
  bool traced = false;
  for (const TraceLine& t : host.traces()) traced |= t.level == 400 && t.text == "arj\tvolumes count 1";
  EXPECT_TRUE(traced);
}

TEST(ArchiveScan, ASplitLastEntryWithoutAFileSystemStays) {
  TestHost host;
  ArchiverFixture f(host);
  // Not multi-volume by its main header, and no entry continues another.
  Bytes bytes = Concat({MainHeader(), BuildHeader(StoredEntry("a", "aa", Bit(MainFlag::kContinuesInNext))), EndMarker()});
  ASSERT_EQ(f.OpenMemory(bytes), RESULT_OK);
  EXPECT_EQ(f.state().multi_volume, 0u);
  EXPECT_EQ(f.state().entry_count, 1u);
  EXPECT_EQ(f.state().incomplete, 1u) << "its next volume is missing";
}

TEST(ArchiveScan, OnlyTheValueOneStartsTheSecondOpening) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenMemory(ThreeEntries(), "test.arj", 2), RESULT_OK);
  for (const TraceLine& t : host.traces()) EXPECT_EQ(t.text.find("volumes 0 to"), std::string::npos);
}

TEST(ArchiveScan, DamagedMainHeadersAndGarbageAreRefused) {
  TestHost host;
  Bytes main = MainHeader();
  for (const Bytes& bytes : {Bytes(main.begin(), main.begin() + 20), Bytes(main.begin(), main.end() - 1)}) {
    ArchiverFixture f(host);
    EXPECT_EQ(f.OpenMemory(bytes), ERR_CORRUPTED);
  }
}

TEST(ArchiveScan, TablesAreBoundedBeforeTheirSizeCouldWrap) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenMemory(ThreeEntries()), RESULT_OK);
  ArchiverState& s = f.state();
  EntryRecord* before = s.entries;
  // Counts whose size in bytes would wrap 32 bits, or pass the bound.
  EXPECT_EQ(ReserveEntrySlots(s, 8'000'000), ERR_LIMIT_EXCEEDED);
  EXPECT_EQ(ReserveEntrySlots(s, uint64_t{1} << 40), ERR_LIMIT_EXCEEDED);
  EXPECT_EQ(ReserveVolumeSlots(s, uint64_t{1} << 33), ERR_LIMIT_EXCEEDED);
  EXPECT_EQ(s.entries, before) << "a refused resize leaves the table as it was";
}

TEST(ArchiveScan, AllocationFailuresAreReportedAndLeaveNothingBehind) {
  for (uint64_t k = 1; k <= 8; ++k) {
    TestHost host;
    ArchiverFixture f(host);
    host.runtime().FailAllocation(k);
    ResultCode r = f.OpenMemory(ThreeEntries());
    EXPECT_TRUE(r == RESULT_OK || r == ERR_NO_MEMORY) << "k = " << k << " result " << r;
  }
}

}  // namespace
