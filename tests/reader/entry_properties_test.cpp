#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "plugin/access/enumeration.h"
#include "plugin/format/arj_layout.h"
#include "tests/support/archive_builder.h"
#include "tests/support/archiver_fixture.h"
#include "tests/support/bytes.h"
#include "tests/support/test_host.h"

namespace {

using namespace testing_support;

HeaderSpec Part(const std::string& name, uint32_t original, uint32_t packed, uint8_t flags) {
  HeaderSpec fields = StoredEntry(name, std::string(packed, 'p'), flags);
  fields.original_size = original;
  return fields;
}

class EntryProperties : public ::testing::Test {
 protected:
  void SetUp() override {
    Bytes bytes = Concat({MainHeader(), BuildHeader(StoredEntry("abcdefghij", "ten")),
                          BuildHeader(StoredEntry("second", "2", Bit(EntryFlag::kGarbled))), EndMarker()});
    ASSERT_EQ(f_.OpenMemory(bytes), RESULT_OK);
  }
  TestHost host_;
  ArchiverFixture f_{host_};
};

TEST_F(EntryProperties, TheSelectorAppliesToExactlyOneRead) {
  EXPECT_EQ(host::Archiver(f_.archiver()).Reset(f_.archiver()), RESULT_OK);
  EXPECT_EQ(f_.Name(0), "abcdefghij") << "after Reset the current entry is the first";
  uint32_t crc = 0, length = 0;
  ASSERT_EQ(f_.Read(2, PROP_OBJECT_CRC, &crc, 4, &length), RESULT_OK);
  EXPECT_EQ(crc, Crc32Of("2"));
  EXPECT_EQ(f_.state().entry_selector, kCurrentEntrySelector);
  EXPECT_EQ(f_.Read(0, PROP_OBJECT_CRC, &crc, 4, &length), RESULT_OK);
  EXPECT_EQ(crc, Crc32Of("ten")) << "the next read serves the current entry again";
  uint32_t garbled = 0;
  f_.Read(2, PROP_ENTRY_ENCRYPTED, &garbled, 4, &length);
  EXPECT_EQ(garbled, 1u);
  EXPECT_EQ(f_.state().current_entry, 0u) << "property reads never move the current entry";
}

TEST_F(EntryProperties, SelectorZeroAndMissingTablesAreNotInitialized) {
  uint32_t v = 0, length = 0;
  EXPECT_EQ(f_.Read(0, PROP_OBJECT_CRC, &v, 4, &length), RESULT_OK);
  EXPECT_EQ(host::SetPropQWord(f_.archiver(), PROP_ENTRY_SELECTOR, 0), RESULT_OK);
  EXPECT_EQ(f_.Read(0, PROP_OBJECT_CRC, &v, 4, &length), ERR_NOT_INITIALIZED);
  EXPECT_EQ(f_.Read(0, PROP_OBJECT_NAME, &v, 4, &length), ERR_NOT_INITIALIZED) << "and again";
  EXPECT_EQ(host::Archiver(f_.archiver()).Reset(f_.archiver()), RESULT_OK);
  EXPECT_EQ(f_.Read(0, PROP_OBJECT_CRC, &v, 4, &length), RESULT_OK);
}

TEST_F(EntryProperties, SizesBuffersAndSizeQueries) {
  char name[11];
  uint32_t length = 0;
  EXPECT_EQ(f_.Read(1, PROP_OBJECT_NAME, name, 10, &length), ERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(length, 11u);
  EXPECT_EQ(f_.Read(1, PROP_OBJECT_NAME, name, 11, &length), RESULT_OK);
  EXPECT_EQ(length, 11u);
  EXPECT_STREQ(name, "abcdefghij");
  uint32_t small = 0;
  EXPECT_EQ(f_.Read(1, PROP_OBJECT_SIZE, &small, 4, &length), ERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(length, 8u);
  length = 77;
  EXPECT_EQ(f_.Read(1, PROP_OBJECT_NAME, nullptr, 0, &length), RESULT_OK);
  EXPECT_EQ(length, 512u);
  length = 77;
  EXPECT_EQ(f_.Read(1, PROP_OBJECT_CRC, nullptr, 0, &length), RESULT_OK);
  EXPECT_EQ(length, 77u) << "untouched";
  EXPECT_EQ(f_.Read(1, PROP_OBJECT_NAME, name, 0, &length), ERR_BAD_PARAMETER);
  EXPECT_EQ(f_.state().entry_selector, kCurrentEntrySelector) << "reset even after a bad call";
  EXPECT_EQ(f_.Read(1, PROP_OBJECT_NAME_SIZED, name, 11, &length), RESULT_OK);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(f_.Read(1, PROP_VOLUME_NAME, name, 11, &length), ERR_PROPERTY_UNAVAILABLE);
  EXPECT_EQ(length, 0u);
}

TEST_F(EntryProperties, NoReadOutsideTheTable) {
  uint32_t v = 0, length = 0;
  EXPECT_EQ(f_.Read(3, PROP_OBJECT_CRC, &v, 4, &length), ERR_BAD_PARAMETER);
  EXPECT_EQ(f_.Read(~0ull, PROP_OBJECT_SIZE, &v, 4, &length), ERR_BAD_PARAMETER);
  EXPECT_EQ(host::Archiver(f_.archiver()).SetCurrent(f_.archiver(), 1000000), RESULT_OK);
  EXPECT_EQ(f_.Read(0, PROP_OBJECT_NAME, &v, 4, &length), ERR_BAD_PARAMETER);
  uint64_t digest = 0;
  EXPECT_EQ(f_.Read(0, PROP_ARCHIVE_DIGEST, &digest, 8, &length), RESULT_OK) << "the digest needs no entry";
  EXPECT_EQ(digest, f_.state().archive_digest);
}

TEST(EntryPropertiesSplit, SumsWalkTheContinuationPartsOnly) {
  TestHost host;
  ArchiverFixture f(host);
  // One volume holding three parts of one file: the table looks as the
  // volume chain builds it, but all parts lie in volume 0, so the walk must
  // stop at the first (a part in another volume than the next is not its
  // continuation).
  Bytes bytes = Concat({MainHeader(), BuildHeader(Part("f", 100, 50, Bit(MainFlag::kContinuesInNext))),
                        BuildHeader(Part("f", 200, 60, Bit(EntryFlag::kContinuesInNext) | Bit(EntryFlag::kContinuesPrevious))),
                        BuildHeader(Part("f", 300, 70, Bit(EntryFlag::kContinuesPrevious))), EndMarker()});
  ASSERT_EQ(f.OpenMemory(bytes), RESULT_OK);
  EXPECT_EQ(f.Size(1), 100u);
  // Now as if the parts were in consecutive volumes.
  for (uint32_t i = 0; i < 3; ++i) f.state().entries[i].volume_index = i;
  EXPECT_EQ(f.Size(1), 600u);
  EXPECT_EQ(f.Packed(1), 180u);
  EXPECT_EQ(f.Size(2), 500u);
  EXPECT_EQ(f.Packed(2), 130u);
  EXPECT_EQ(f.Handles(), (std::vector<uint64_t>{1}));
  EXPECT_EQ(f.state().current_entry, 3u) << "the walk ended on the last index examined";
}

// Next skips a part that continues the one before it (flagged so, in the
// next volume, after a part flagged as continuing) and offers every other
// part, a "continued" one whose first part is not there too: nothing the
// archive holds goes unlisted.
TEST(EntryPropertiesSplit, NextSkipsContinuationsAndOffersOrphanParts) {
  const struct {
    const char* label;
    std::vector<uint8_t> flags;
    std::vector<uint32_t> volumes;
    std::vector<uint64_t> handles;
  } cases[] = {
      {"an orphan after a whole entry", {0, Bit(EntryFlag::kContinuesPrevious)}, {0, 0}, {1, 2}},
      {"an orphan first", {Bit(EntryFlag::kContinuesPrevious), 0}, {0, 0}, {1, 2}},
      {"an orphan opening the next volume", {0, Bit(EntryFlag::kContinuesPrevious)}, {0, 1}, {1, 2}},
      {"a continuation", {Bit(EntryFlag::kContinuesInNext), Bit(EntryFlag::kContinuesPrevious)}, {0, 1}, {1}},
      {"a continuation in the same volume is none", {Bit(EntryFlag::kContinuesInNext), Bit(EntryFlag::kContinuesPrevious)}, {0, 0}, {1, 2}},
      {"three parts", {Bit(EntryFlag::kContinuesInNext), Bit(EntryFlag::kContinuesInNext) | Bit(EntryFlag::kContinuesPrevious), Bit(EntryFlag::kContinuesPrevious)}, {0, 1, 2}, {1}},
      {"a middle part after a whole entry", {0, Bit(EntryFlag::kContinuesInNext) | Bit(EntryFlag::kContinuesPrevious), Bit(EntryFlag::kContinuesPrevious)}, {0, 1, 2}, {1, 2}},
      {"a part continuing, then a whole entry", {Bit(EntryFlag::kContinuesInNext), 0}, {0, 0}, {1, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TestHost host;
    ArchiverFixture f(host);
    std::vector<Bytes> parts = {MainHeader()};
    for (uint8_t flags : c.flags) parts.push_back(BuildHeader(Part("f", 10, 5, flags)));
    parts.push_back(EndMarker());
    ASSERT_EQ(f.OpenMemory(Concat(parts)), RESULT_OK);
    ASSERT_EQ(f.state().entry_count, c.flags.size());
    // The table as the volume chain builds it, the volumes set by hand.
    for (size_t i = 0; i < c.volumes.size(); ++i) f.state().entries[i].volume_index = c.volumes[i];
    EXPECT_EQ(f.Handles(), c.handles);
    uint64_t parts_listed = 0;
    for (uint64_t h : c.handles) parts_listed += f.Size(h) / 10;
    EXPECT_EQ(parts_listed, c.flags.size()) << "every part belongs to exactly one listed entry";
  }
}

TEST(EntryPropertiesSplit, NextOffersASplitEntryWithoutItsContinuationAndEndsOnEmptyArchives) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenMemory(Concat({MainHeader(), BuildHeader(StoredEntry("a", "1")),
                                 BuildHeader(StoredEntry("b", "2", Bit(EntryFlag::kContinuesInNext))), EndMarker()})),
            RESULT_OK);
  const MiniArchiverMethods& m = host::Archiver(f.archiver());
  uint64_t handle = 0;
  EXPECT_EQ(m.Next(f.archiver(), &handle, 0), RESULT_OK);
  EXPECT_EQ(handle, 1u);
  EXPECT_EQ(m.Next(f.archiver(), &handle, 1), RESULT_OK) << "listed; its extraction names the missing volume";
  EXPECT_EQ(handle, 2u);
  EXPECT_EQ(m.Next(f.archiver(), &handle, 2), ERR_END_OF_LIST);
  EXPECT_EQ(handle, 3u) << "the handle is stored even at the end";
  ArchiverFixture empty(host);
  ASSERT_EQ(empty.OpenMemory(Concat({MainHeader(), EndMarker()})), RESULT_OK);
  EXPECT_EQ(host::Archiver(empty.archiver()).Next(empty.archiver(), &handle, 0), ERR_END_OF_LIST);
  EXPECT_EQ(handle, 1u);
  EXPECT_EQ(host::Archiver(empty.archiver()).Next(empty.archiver(), &handle, ~0ull), ERR_END_OF_LIST);
}

}  // namespace
