// The plug-in's Rebuild, driven as a host drives it, its output parsed
// independently and unpacked with our decoders.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <optional>

#include "plugin/format/arj_layout.h"
#include "plugin/format/garble_key.h"
#include "runtime/services/change_list.h"
#include "tests/support/archive_builder.h"
#include "tests/support/archive_parser.h"
#include "tests/support/archiver_fixture.h"
#include "tests/support/bytes.h"
#include "tests/support/codec_bytes.h"
#include "tests/support/decode_chain.h"
#include "tests/support/files.h"
#include "tests/support/io_objects.h"
#include "tests/support/refusing_host.h"
#include "tests/support/rebuild_harness.h"
#include "tests/support/sample_data.h"
#include "tests/support/test_host.h"

namespace testing_support {
namespace {

TEST(RebuildIdentity, KeepsEveryByteOfEveryArchive) {
  for (const char* name : {"method0.arj", "method1.arj", "method2.arj", "method3.arj", "method4.arj", "garbled.arj",
                           "comment.arj", "entries20.arj", "entries21.arj", "longname.arj", "empty.arj"}) {
    SCOPED_TRACE(name);
    TestHost host;
    ArchiverFixture f(host);
    const Bytes original = DataFile(name);
    ASSERT_EQ(f.OpenMemory(original, name), RESULT_OK);
    ObjectRef list = NewChangeList(host);
    Bytes out;
    EXPECT_EQ(RebuildInto(f, list, &out), RESULT_OK);
    EXPECT_EQ(out, original);
    host::CloseIfOpen(list);
  }
}

TEST(RebuildIdentity, StopsAtTheEndMarkerOfAnArchiveWithTrailingBytes) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_FALSE(Failed(f.OpenMemory(DataFile("trailing.arj"))));
  ObjectRef list = NewChangeList(host);
  Bytes out;
  EXPECT_EQ(RebuildInto(f, list, &out), RESULT_OK);
  EXPECT_EQ(out, DataFile("method1.arj"));
  host::CloseIfOpen(list);
}

// A stored header longer than the work buffer (a 30000-byte extended
// header) is copied whole, in chunks.
TEST(RebuildIdentity, CopiesAHeaderLongerThanTheWorkBuffer) {
  TestHost host;
  ArchiverFixture f(host);
  HeaderSpec entry = StoredEntry("big-header.txt", "content");
  entry.comment = std::string(2000, 'c');
  entry.extended.push_back(Bytes(30000, 0x5A));
  const Bytes original = Concat({MainHeader(), BuildHeader(entry), EndMarker()});
  ASSERT_EQ(f.OpenMemory(original), RESULT_OK);
  ObjectRef list = NewChangeList(host);
  Bytes out;
  EXPECT_EQ(RebuildInto(f, list, &out), RESULT_OK);
  EXPECT_EQ(out, original);
  host::CloseIfOpen(list);
}

// The main header's CRCs (basic and extended) are written afresh: what
// recovery read past a damaged one is written as a sound archive. Its
// ARJ-PROTECT flag is cleared (the protection data is not carried over);
// its other flags stay.
TEST(RebuildIdentity, WritesTheMainHeadersCrcsAfreshAndDropsTheProtectionFlag) {
  HeaderSpec main;
  main.file_type = 2;
  main.name = "main.arj";
  main.flags = 0x10;
  main.extended = {Bytes(5, 0x22), Bytes(3, 0x33)};
  const Bytes sound_main = BuildHeader(main);
  const Bytes entry = BuildHeader(StoredEntry("a.txt", "alpha"));
  const Bytes sound = Concat({sound_main, entry, EndMarker()});
  const size_t basic_crc = 4 + LoadWord(sound_main.data() + 2);
  const size_t second_crc = sound_main.size() - 2 - 4;
  std::vector<Bytes> inputs;
  for (size_t spoiled : {basic_crc, basic_crc + 4 + 2 + 5, second_crc}) {
    inputs.push_back(sound);
    inputs.back()[spoiled] ^= 0xFF;
  }
  main.flags |= Bit(MainFlag::kProtected);
  inputs.push_back(Concat({BuildHeader(main), entry, EndMarker()}));
  for (const Bytes& input : inputs) {
    SCOPED_TRACE(&input - inputs.data());
    TestHost host;
    ArchiverFixture f(host);
    ASSERT_FALSE(Failed(f.OpenMemory(input)));
    ObjectRef list = NewChangeList(host);
    Bytes out;
    EXPECT_EQ(RebuildInto(f, list, &out), RESULT_OK);
    EXPECT_EQ(out, sound);
    host::CloseIfOpen(list);
  }
}

TEST(RebuildDrop, AllLeavesTheMainHeaderAndTheEndMarker) {
  TestHost host;
  ArchiverFixture f(host);
  const Bytes original = DataFile("comment.arj");
  ASSERT_EQ(f.OpenMemory(original), RESULT_OK);
  ObjectRef list = NewChangeList(host);
  for (uint64_t k = 1; k <= f.state().entry_count; ++k) EXPECT_EQ(arjrt::ChangeListDrop(list, k), RESULT_OK);
  Bytes out;
  EXPECT_EQ(RebuildInto(f, list, &out), RESULT_OK);
  const size_t main = ParseArchive(original).main_header_length;
  Bytes expected(original.begin(), original.begin() + static_cast<long>(main));
  const Bytes end = EndMarker();
  expected.insert(expected.end(), end.begin(), end.end());
  EXPECT_EQ(out, expected);
  host::CloseIfOpen(list);
}

TEST(RebuildDrop, SomeKeepsTheOthersAsStored) {
  TestHost host;
  ArchiverFixture f(host);
  const Bytes original = DataFile("method3.arj");
  ASSERT_EQ(f.OpenMemory(original), RESULT_OK);
  ObjectRef list = NewChangeList(host);
  EXPECT_EQ(arjrt::ChangeListDrop(list, 2), RESULT_OK);
  EXPECT_EQ(arjrt::ChangeListDrop(list, 4), RESULT_OK);
  Bytes out;
  EXPECT_EQ(RebuildInto(f, list, &out), RESULT_OK);
  const ParsedArchive before = ParseArchive(original), after = ParseArchive(out);
  ASSERT_TRUE(after.ended);
  ASSERT_EQ(after.entries.size(), before.entries.size() - 2);
  size_t j = 0;
  for (size_t i = 0; i < before.entries.size(); ++i) {
    if (i == 1 || i == 3) continue;
    EXPECT_EQ(after.entries[j].name, before.entries[i].name);
    EXPECT_EQ(after.entries[j].fixed, before.entries[i].fixed);
    EXPECT_EQ(after.entries[j].packed, before.entries[i].packed);
    ++j;
  }
  host::CloseIfOpen(list);
}

// Kept entries come out byte for byte however the host copies them: by the
// kernel (native files both sides), through the buffer where the host's
// copier refuses (a memory destination) or where the host has no copier at
// all. A stored entry whose data fails its CRC is still read and reported
// on every way, its bytes copied as they are.
TEST(RebuildDrop, KeepsTheSameBytesWhicheverWayTheHostCopies) {
  TempDir dir;
  Bytes damaged = DataFile("method1.arj");  // stored and packed entries
  const ParsedArchive parsed = ParseArchive(damaged);
  // The first stored entry after the second, spoiled in its last byte.
  size_t spoiled = 2;
  while (spoiled < parsed.entries.size() && (parsed.entries[spoiled].method() != 0 || parsed.entries[spoiled].packed.empty()))
    ++spoiled;
  ASSERT_LT(spoiled, parsed.entries.size());
  const ParsedEntry& e = parsed.entries[spoiled];
  damaged[e.data_offset + e.packed.size() - 1] ^= 0x40;
  WriteFile(dir.File("a.arj"), damaged);
  Bytes expected(damaged.begin(), damaged.begin() + static_cast<long>(parsed.entries[1].offset));
  expected.insert(expected.end(), damaged.begin() + static_cast<long>(parsed.entries[2].offset), damaged.end());
  struct Way {
    const char* what;
    bool file_destination;
    bool copier;
  };
  for (const Way& way : {Way{"the kernel", true, true}, Way{"a refusing destination", false, true},
                         Way{"no copier", true, false}}) {
    SCOPED_TRACE(way.what);
    TestHost host;
    ArchiverFixture f(host);
    ASSERT_EQ(f.OpenFile(dir.File("a.arj")), RESULT_OK);
    std::optional<RefusingHost> refusing;
    if (!way.copier) refusing.emplace(f.io()), refusing->RefuseInterface(IID_RANGE_COPY);
    ObjectRef list = NewChangeList(host), dest = nullptr;
    EXPECT_EQ(arjrt::ChangeListDrop(list, 2), RESULT_OK);
    if (way.file_destination)
      ASSERT_EQ(OpenNativeFile(host.root(), &dest, dir.File("out.arj"), ACCESS_READ | ACCESS_WRITE,
                               OPEN_EXISTING | OPEN_CREATE | OPEN_TRUNCATE), RESULT_OK);
    else
      ASSERT_EQ(host::CreateObjectQuick(host.root(), &dest, IID_BLOCK_IO, PID_MEMORY_IO), RESULT_OK);
    EXPECT_EQ(host::Archiver(f.archiver()).Rebuild(f.archiver(), list, dest), RESULT_OK);
    EXPECT_EQ(ReadAll(dest), expected);
    host::CloseIfOpen(dest);
    host::CloseIfOpen(list);
    if (refusing) {
      EXPECT_EQ(refusing->refusals(), 1u) << "asked once, then copied through the buffer";
    }
    size_t reported = 0;
    for (const HostMessage& m : f.messages())
      if (m.id == MSG_DAMAGED_ENTRY_COPIED) reported += m.digest == spoiled + 1 ? 1 : 100;
    EXPECT_EQ(reported, 1u) << "its CRC is checked on the way, and it alone fails it";
  }
}

// Replaced entries, garbled and not, re-encoded with each method.
class RebuildReplace : public ::testing::TestWithParam<int> {};

TEST_P(RebuildReplace, ReencodesWithTheRequestedMethodAndMendsTheHeader) {
  const uint32_t method = static_cast<uint32_t>(GetParam());
  for (const char* name : {"garbled.arj", "method1.arj"}) {
    SCOPED_TRACE(name);
    TestHost host;
    ArchiverFixture f(host);
    ASSERT_EQ(f.OpenMemory(DataFile(name)), RESULT_OK);
    ObjectRef list = NewChangeList(host);
    const Bytes content = MixedSample(70000, method);
    TempDir dir;
    ObjectRef io = FileContent(list, dir.File("content"), content, "", static_cast<int>(method));
    EXPECT_EQ(arjrt::ChangeListReplace(list, 1, Hand(io)), RESULT_OK);
    Bytes out;
    EXPECT_EQ(RebuildInto(f, list, &out), RESULT_OK);
    EXPECT_FALSE(host.runtime().IsLive(io)) << "the replacement belongs to the plug-in once handed over";
    const ParsedArchive w = ParseArchive(out);
    ASSERT_TRUE(w.ended);
    ASSERT_EQ(w.entries.size(), f.state().entry_count);
    const ParsedEntry& e = w.entries[0];
    EXPECT_EQ(e.name, f.state().entries[0].name);
    EXPECT_EQ(e.method(), method);
    EXPECT_EQ(e.flags() & (Bit(EntryFlag::kGarbled) | Bit(EntryFlag::kContinuesInNext) | Bit(EntryFlag::kContinuesPrevious)), 0);
    EXPECT_EQ(e.first_header_size, 30);
    EXPECT_EQ(e.basic_size, e.name.size() + 32);
    EXPECT_EQ(e.extended_headers, 0u);
    EXPECT_TRUE(e.header_crc_ok);
    EXPECT_EQ(e.Field32(20), content.size());
    EXPECT_EQ(Unpack(e), content);
    // The other entries are copied as stored, garbling included.
    EXPECT_EQ(w.entries[1].fixed, Bytes(f.state().entries[1].fixed_header, f.state().entries[1].fixed_header + 34));
    host::CloseIfOpen(list);
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, RebuildReplace, ::testing::Values(0, 1, 2, 3, 4));

// The entry's comment stays, as arj f keeps it; the header is sound.
TEST(RebuildReplaceMends, ADirectoryOrSplitTemplateBecomesAWholeBinaryFileWithItsComment) {
  TestHost host;
  ArchiverFixture f(host);
  HeaderSpec dir = StoredEntry("folder", "");
  dir.file_type = 3;
  dir.first_header_size = 46;  // extra fields of arj on UNIX, not carried over
  dir.comment = "kept note";
  ASSERT_EQ(f.OpenMemory(Concat({MainHeader(), BuildHeader(dir), EndMarker()})), RESULT_OK);
  ObjectRef list = NewChangeList(host);
  EXPECT_EQ(arjrt::ChangeListReplace(list, 1, Hand(MemoryContent(list, ToBytes("now a file")))), RESULT_OK);
  ObjectRef added = MemoryContent(list, ToBytes("added"), "added.txt");
  EXPECT_EQ(arjrt::ChangeListAdd(list, Hand(added)), RESULT_OK);
  Bytes out;
  EXPECT_EQ(RebuildInto(f, list, &out), RESULT_OK);
  const ParsedArchive w = ParseArchive(out);
  ASSERT_EQ(w.entries.size(), 2u);
  for (const ParsedEntry& e : w.entries) {
    EXPECT_EQ(e.file_type(), 0);
    EXPECT_EQ(e.first_header_size, 30);
  }
  EXPECT_EQ(Unpack(w.entries[0]), ToBytes("now a file"));
  EXPECT_EQ(Unpack(w.entries[1]), ToBytes("added"));
  const ParsedEntry& replaced = w.entries[0];
  EXPECT_TRUE(replaced.header_crc_ok);
  EXPECT_EQ(replaced.basic_size, replaced.name.size() + dir.comment.size() + 32);
  const size_t comment_at = replaced.offset + 4 + 30 + replaced.name.size() + 1;
  EXPECT_EQ(std::string(out.begin() + static_cast<long>(comment_at),
                        out.begin() + static_cast<long>(comment_at + dir.comment.size() + 1)),
            dir.comment + std::string(1, '\0'));
  host::CloseIfOpen(list);
}

TEST(RebuildAdd, TakesTheFirstEntrysTemplateWhenTheContentHasNoTime) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenMemory(DataFile("method2.arj")), RESULT_OK);
  ObjectRef list = NewChangeList(host);
  const Bytes one = MixedSample(100000, 7), two = MixedSample(10, 8);
  ObjectRef a = MemoryContent(list, one, "dir/one.bin");
  ObjectRef b = MemoryContent(list, two, "two.txt");
  EXPECT_EQ(arjrt::ChangeListAdd(list, Hand(a)), RESULT_OK);
  EXPECT_EQ(arjrt::ChangeListAdd(list, Hand(b)), RESULT_OK);
  Bytes out;
  EXPECT_EQ(RebuildInto(f, list, &out), RESULT_OK);
  const ParsedArchive w = ParseArchive(out);
  ASSERT_TRUE(w.ended);
  ASSERT_EQ(w.entries.size(), f.state().entry_count + 2);
  const uint8_t* first = f.state().entries[0].fixed_header;
  for (size_t i = w.entries.size() - 2; i < w.entries.size(); ++i) {
    const ParsedEntry& e = w.entries[i];
    for (size_t at : {5u, 6u, 7u, 12u, 13u, 14u, 15u, 30u, 31u, 32u, 33u})
      EXPECT_EQ(e.fixed[at], first[at]) << "byte " << at;
    EXPECT_EQ(e.flags(), 0);
    EXPECT_EQ(e.file_type(), 0);
    EXPECT_EQ(e.fixed[11], 0) << "no garble modifier";
    EXPECT_TRUE(e.header_crc_ok);
  }
  // The template's method packs the large one; ten bytes pack to no less,
  // so they are stored, as arj stores them.
  EXPECT_EQ(w.entries[w.entries.size() - 2].method(), first[9]);
  EXPECT_EQ(w.entries.back().method(), 0);
  EXPECT_EQ(LoadWord(w.entries[w.entries.size() - 2].fixed.data() + 28), 4) << "the name after \"dir/\"";
  EXPECT_EQ(LoadWord(w.entries.back().fixed.data() + 28), 0);
  EXPECT_EQ(w.entries[w.entries.size() - 2].name, "dir/one.bin");
  EXPECT_EQ(Unpack(w.entries[w.entries.size() - 2]), one);
  EXPECT_EQ(Unpack(w.entries.back()), two);
  host::CloseIfOpen(list);
}

TEST(RebuildAdd, ToAnEmptyArchiveUsesABinaryDefaultWithTheFilesTimeAndMode) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenMemory(DataFile("empty.arj")), RESULT_OK);
  ObjectRef list = NewChangeList(host);
  TempDir dir;
  std::string hello;
  for (int i = 0; i < 100; ++i) hello += "hello\n";  // packs smaller, so it keeps method 1
  ObjectRef io = FileContent(list, dir.File("hello"), ToBytes(hello), "hello.txt");
  EXPECT_EQ(host::SetPropDWord(io, PROP_FILE_MODE, 0100640), RESULT_OK);
  EXPECT_EQ(host::SetPropQWord(io, PROP_MODIFIED_TIME, 1700000000), RESULT_OK);
  EXPECT_EQ(arjrt::ChangeListAdd(list, Hand(io)), RESULT_OK);
  Bytes out;
  EXPECT_EQ(RebuildInto(f, list, &out), RESULT_OK);
  const ParsedArchive w = ParseArchive(out);
  ASSERT_EQ(w.entries.size(), 1u);
  const ParsedEntry& e = w.entries[0];
  EXPECT_EQ(e.method(), 1);
  EXPECT_EQ(e.file_type(), 0);
  EXPECT_EQ(e.flags(), 0);
  EXPECT_EQ(e.fixed[7], 2);   // UNIX
  EXPECT_EQ(e.fixed[5], 11);  // archiver version
  EXPECT_EQ(e.fixed[6], 1);
  EXPECT_EQ(LoadWord(e.fixed.data() + 30), 0x11A0);  // a regular file, rw-r-----, as arj marks it
  EXPECT_EQ(e.Field32(12), 1700000000u);             // the file's time, in Unix seconds for a UNIX host
  EXPECT_EQ(Unpack(e), ToBytes(hello));
  host::CloseIfOpen(list);
}

// An added or replaced file is described by itself: its mode (which makes
// it a UNIX entry), its time, a binary type, no flags, its own name
// position; only what it cannot say (versions, chapters) comes from the
// header it started from, here a DOS text entry with every flag arj sets.
TEST(RebuildNewEntries, TakeModeTimeAndTypeFromTheirFileNotTheTemplate) {
  HeaderSpec old = StoredEntry("a/b/old.txt", "old content", 0x01 | 0x10 | 0x20);
  old.file_type = 1;
  old.archiver_version = 10;
  old.garble_modifier = 0x5A;
  const Bytes original = Concat({MainHeader(), BuildHeader(old), EndMarker()});
  struct Case {
    bool replace;
    uint32_t mode;
    const char* name;  // of the added entry
    uint16_t name_position;
  };
  for (const Case& c : {Case{false, 0100751, "new/file.bin", 4}, Case{false, 0100600, "top.bin", 0},
                        Case{true, 0100644, nullptr, 4}, Case{true, 0104755, nullptr, 4}}) {
    SCOPED_TRACE(std::to_string(c.replace) + " " + std::to_string(c.mode));
    TestHost host;
    ArchiverFixture f(host);
    ASSERT_EQ(f.OpenMemory(original), RESULT_OK);
    ObjectRef list = NewChangeList(host);
    TempDir dir;
    ObjectRef io = FileContent(list, dir.File("content"), ToBytes("new content"), c.name ? c.name : "");
    EXPECT_EQ(host::SetPropDWord(io, PROP_FILE_MODE, c.mode), RESULT_OK);
    EXPECT_EQ(host::SetPropQWord(io, PROP_MODIFIED_TIME, 1600000000), RESULT_OK);
    EXPECT_EQ(c.replace ? arjrt::ChangeListReplace(list, 1, Hand(io)) : arjrt::ChangeListAdd(list, Hand(io)), RESULT_OK);
    Bytes out;
    ASSERT_EQ(RebuildInto(f, list, &out), RESULT_OK);
    const ParsedArchive w = ParseArchive(out);
    ASSERT_EQ(w.entries.size(), c.replace ? 1u : 2u);
    const ParsedEntry& e = w.entries.back();
    EXPECT_EQ(e.fixed[5], 10) << "the template's archiver version";
    EXPECT_EQ(e.fixed[7], 2) << "a UNIX mode is a UNIX entry's";
    EXPECT_EQ(e.flags(), 0);
    EXPECT_EQ(e.file_type(), 0);
    EXPECT_EQ(e.fixed[11], 0);
    EXPECT_EQ(e.Field32(12), 1600000000u);
    EXPECT_EQ(LoadWord(e.fixed.data() + 28), c.name_position);
    EXPECT_EQ(LoadWord(e.fixed.data() + 30), 0x1000 | (c.mode & 07777));
    EXPECT_TRUE(e.header_crc_ok);
    EXPECT_EQ(Unpack(e), ToBytes("new content"));
    const auto kept = original.begin() + static_cast<long>(MainHeader().size());
    if (!c.replace) {
      EXPECT_EQ(w.entries[0].fixed, Bytes(kept, kept + 34)) << "kept as stored";
    }
    host::CloseIfOpen(list);
  }
}

// Records every call the plug-in makes on a list and hands out objects it
// keeps track of. Of the system methods only GetInterfaceId is there: a
// list's version is the one thing the plug-in may ask besides its
// interface methods. A list of the second version also gives comments and
// a password.
struct RecordingList {
  HostObject object;
  uint32_t interface_id = IID_CHANGE_LIST;
  std::vector<std::string> calls;
  std::vector<ObjectRef> replacements;  // by entry number - 1, or null for "unchanged"
  std::vector<uint64_t> dropped;
  std::vector<ObjectRef> added;
  ResultCode get_added_result = RESULT_OK;
  std::map<std::pair<uint32_t, uint64_t>, std::string> comments;  // by subject and number
  std::string password;

  static RecordingList& Of(ObjectRef self) { return *static_cast<RecordingList*>(self->instance); }
  void Record(const std::string& call, uint64_t number) { calls.push_back(call + " " + std::to_string(number)); }
  static uint32_t Query(ObjectRef self, ObjectRef* object, uint32_t query, uint64_t k) {
    RecordingList& l = Of(self);
    l.Record(query == QUERY_ENTRY_KEPT ? "kept" : query == QUERY_ENTRY_UNCHANGED ? "unchanged" : "query?", k);
    if (query == QUERY_ENTRY_KEPT) return std::find(l.dropped.begin(), l.dropped.end(), k) == l.dropped.end();
    ObjectRef r = k - 1 < l.replacements.size() ? l.replacements[k - 1] : nullptr;
    if (r == nullptr) return 1;
    *object = r;
    return 0;
  }
  static uint32_t First(ObjectRef self, uint32_t* it) {
    Of(self).calls.push_back("first");
    *it = 0;
    return Of(self).added.empty() ? 1 : 0;
  }
  static uint32_t Next(ObjectRef self, uint32_t* it) {
    Of(self).Record("next", *it);
    if (*it + 1 >= Of(self).added.size()) return 1;
    ++*it;
    return 0;
  }
  static ResultCode Get(ObjectRef self, ObjectRef* object, uint32_t it) {
    Of(self).Record("get", it);
    *object = Of(self).added[it];
    return Of(self).get_added_result;
  }
  static ResultCode Comment(ObjectRef self, uint32_t subject, uint64_t number, void* buffer, uint32_t size,
                            uint32_t* given, uint32_t* length) {
    RecordingList& l = Of(self);
    l.Record(subject == COMMENT_OF_ARCHIVE ? "archive comment" : subject == COMMENT_OF_ENTRY ? "entry comment"
                                                                                            : "added comment",
             number);
    auto found = l.comments.find({subject, number});
    *given = found != l.comments.end();
    *length = *given ? static_cast<uint32_t>(found->second.size()) : 0;
    if (*length > size) return ERR_BUFFER_TOO_SMALL;
    if (*given) std::memcpy(buffer, found->second.data(), *length);
    return RESULT_OK;
  }
  static ResultCode Password(ObjectRef self, void* buffer, uint32_t size, uint32_t* length) {
    RecordingList& l = Of(self);
    l.calls.push_back("password");
    *length = static_cast<uint32_t>(l.password.size());
    if (*length > size) return ERR_BUFFER_TOO_SMALL;
    std::memcpy(buffer, l.password.data(), *length);
    return RESULT_OK;
  }
  static uint32_t InterfaceId(ObjectRef self) { return Of(self).interface_id; }
  static constexpr ChangeListMethods kMethods = {Query, First, Next, Get};
  static constexpr ChangeList2Methods kMethods2 = {{Query, First, Next, Get}, Comment, Password};
  static const SystemMethods kSystem;

  RecordingList() : object{&kMethods, &kSystem, this} {}
  void MakeSecondVersion() {
    interface_id = IID_CHANGE_LIST_2;
    object.methods = &kMethods2;
  }
  ObjectRef ref() { return &object; }
};
const SystemMethods RecordingList::kSystem = [] {
  SystemMethods system{};
  system.GetInterfaceId = InterfaceId;
  return system;
}();

// A list of the first version is asked what it always was, in order, and
// nothing more: whether each entry is kept, whether each kept one is
// unchanged, then the added objects.
TEST(RebuildQueries, AskAFirstVersionListOnlyItsOwnQueriesInOrder) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenMemory(DataFile("method1.arj")), RESULT_OK);
  ASSERT_EQ(f.state().entry_count, 6u);
  RecordingList list;
  list.dropped = {2, 5};
  ObjectRef added = MemoryContent(host.root(), ToBytes("added"), "added.txt");
  list.added = {added};
  Bytes first_version;
  EXPECT_EQ(RebuildInto(f, list.ref(), &first_version), RESULT_OK);
  const std::vector<std::string> expected = {"kept 1",      "unchanged 1", "kept 2", "kept 3",      "unchanged 3",
                                             "kept 4",      "unchanged 4", "kept 5", "kept 6",      "unchanged 6",
                                             "first",       "get 0",       "next 0"};
  EXPECT_EQ(list.calls, expected);

  // A second-version list that gives no comment and no password writes
  // the same bytes.
  RecordingList second;
  second.MakeSecondVersion();
  second.dropped = list.dropped;
  second.added = list.added;
  Bytes second_version;
  EXPECT_EQ(RebuildInto(f, second.ref(), &second_version), RESULT_OK);
  EXPECT_TRUE(second_version == first_version);
  host::CloseIfOpen(added);
}

// The comment stored after a header's name (the main header's too).
std::string CommentAt(const Bytes& archive, size_t header_offset) {
  size_t at = header_offset + 4 + archive.at(header_offset + 4);
  while (archive.at(at) != 0) ++at;
  std::string comment;
  while (archive.at(++at) != 0) comment.push_back(static_cast<char>(archive[at]));
  return comment;
}

TEST(RebuildQueries, TakeCommentsAndThePasswordFromASecondVersionList) {
  TestHost host;
  ArchiverFixture f(host);
  const Bytes original = DataFile("method1.arj");
  ASSERT_EQ(f.OpenMemory(original), RESULT_OK);
  RecordingList list;
  list.MakeSecondVersion();
  list.dropped = {2, 4, 5, 6};
  ObjectRef replacement = MemoryContent(host.root(), ToBytes("replaced content"));
  ObjectRef added = MemoryContent(host.root(), ToBytes("added content"), "added.txt");
  list.replacements = {nullptr, nullptr, replacement};
  list.added = {added};
  list.comments = {{{COMMENT_OF_ARCHIVE, 0}, "archive note"},
                   {{COMMENT_OF_ENTRY, 1}, "first note"},
                   {{COMMENT_OF_ENTRY, 3}, "third note"},
                   {{COMMENT_OF_ADDED, 0}, "added note"}};
  list.password = "secret";
  Bytes out;
  EXPECT_EQ(RebuildInto(f, list.ref(), &out), RESULT_OK);
  const std::vector<std::string> expected = {
      "password",        "archive comment 0", "kept 1", "unchanged 1",     "entry comment 1", "kept 2",
      "kept 3",          "unchanged 3",       "entry comment 3",           "kept 4",          "kept 5",
      "kept 6",          "first",             "get 0",  "added comment 0", "next 0"};
  EXPECT_EQ(list.calls, expected);

  const ParsedArchive w = ParseArchive(out);
  ASSERT_TRUE(w.ended);
  ASSERT_EQ(w.entries.size(), 3u);
  EXPECT_EQ(CommentAt(out, 0), "archive note");
  const ParsedArchive old = ParseArchive(original);
  const ParsedEntry& copied = w.entries[0];
  EXPECT_EQ(CommentAt(out, copied.offset), "first note");
  EXPECT_TRUE(copied.header_crc_ok);
  EXPECT_TRUE(std::equal(copied.fixed.begin() + 4, copied.fixed.end(), old.entries[0].fixed.begin() + 4))
      << "the fixed header is kept, but for the basic header's size";
  EXPECT_TRUE(copied.packed == old.entries[0].packed) << "a copied entry is not garbled anew";
  const std::pair<const ParsedEntry*, const char*> encoded[] = {{&w.entries[1], "replaced content"},
                                                               {&w.entries[2], "added content"}};
  for (const auto& [e, content] : encoded) {
    SCOPED_TRACE(e->name);
    EXPECT_TRUE(e->header_crc_ok);
    EXPECT_TRUE(e->flags() & Bit(EntryFlag::kGarbled));
    ParsedEntry plain = *e;
    const Bytes key = GarbleKey(list.password, e->garble_modifier());
    arjhost::format::GarbleBytes(plain.packed.data(), plain.packed.size(), key.data(),
                                 static_cast<uint32_t>(key.size()), 0);
    EXPECT_EQ(Unpack(plain), ToBytes(content));
  }
  EXPECT_EQ(CommentAt(out, w.entries[1].offset), "third note");
  EXPECT_EQ(CommentAt(out, w.entries[2].offset), "added note");
  EXPECT_FALSE(host.runtime().IsLive(replacement));
  host::CloseIfOpen(added);
}

// What a second-version list gives is checked: a comment that no header
// holds, or with a NUL in it, a password longer than arj takes.
TEST(RebuildQueries, RefuseWhatNoHeaderOrKeyHolds) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenMemory(DataFile("method1.arj")), RESULT_OK);
  struct Case {
    std::pair<uint32_t, uint64_t> subject;
    std::string comment;
    std::string password;
  };
  const std::string too_long(kMaxBasicHeaderSize + 1, 'c');
  for (const Case& c : {Case{{COMMENT_OF_ARCHIVE, 0}, too_long, ""}, Case{{COMMENT_OF_ENTRY, 2}, too_long, ""},
                        Case{{COMMENT_OF_ENTRY, 1}, std::string("a\0b", 3), ""},
                        Case{{COMMENT_OF_ARCHIVE, 0}, "", std::string(kMaxPasswordLength + 1, 'p')}}) {
    SCOPED_TRACE(c.comment.size());
    RecordingList list;
    list.MakeSecondVersion();
    list.comments[c.subject] = c.comment;
    list.password = c.password;
    Bytes out;
    EXPECT_EQ(RebuildInto(f, list.ref(), &out), ERR_BAD_PARAMETER);
    EXPECT_FALSE(ParseArchive(out).ended);
  }
}

TEST(RebuildOwnership, ClosesReplacementsAndEverythingItMadeButNotAddedObjects) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenMemory(DataFile("method1.arj")), RESULT_OK);
  const size_t before = host.runtime().live_object_count();
  RecordingList list;
  ObjectRef replacement = MemoryContent(host.root(), ToBytes("replacement"));
  ObjectRef added = MemoryContent(host.root(), ToBytes("added"), "added.txt");
  list.replacements = {nullptr, replacement};
  list.added = {added};
  Bytes out;
  EXPECT_EQ(RebuildInto(f, list.ref(), &out), RESULT_OK);
  EXPECT_FALSE(host.runtime().IsLive(replacement));
  EXPECT_TRUE(host.runtime().IsLive(added));
  // What remains beyond the fixture's objects is the added object and the
  // new archive stream the state keeps: source streams, encoders and the
  // output stream are gone.
  EXPECT_EQ(host.runtime().live_object_count(), before + 2) << host.runtime().DescribeLive();
  EXPECT_TRUE(host.runtime().IsLive(f.state().archive_stream));
  host::CloseIfOpen(added);
}

TEST(RebuildMissingParts, AreErrorsNotEmptyEntries) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenMemory(DataFile("method1.arj")), RESULT_OK);
  {  // replaced by nothing
    RecordingList list;
    struct NoObject {
      static uint32_t Query(ObjectRef, ObjectRef*, uint32_t q, uint64_t) { return q == QUERY_ENTRY_KEPT; }
    };
    static constexpr ChangeListMethods methods = {NoObject::Query, RecordingList::First, RecordingList::Next,
                                                  RecordingList::Get};
    list.object.methods = &methods;
    Bytes out;
    EXPECT_EQ(RebuildInto(f, list.ref(), &out), ERR_BAD_PARAMETER);
    EXPECT_FALSE(ParseArchive(out).ended);
  }
  {  // GetAdded fails, or hands out nothing
    RecordingList list;
    list.added = {nullptr};
    Bytes out;
    EXPECT_EQ(RebuildInto(f, list.ref(), &out), ERR_BAD_PARAMETER);
    ObjectRef io = MemoryContent(host.root(), ToBytes("x"), "x");
    list.added = {io};
    list.get_added_result = ERR_NOT_FOUND;
    EXPECT_EQ(RebuildInto(f, list.ref(), &out), ERR_NOT_FOUND);
    EXPECT_FALSE(ParseArchive(out).ended);
    host::CloseIfOpen(io);
  }
}

TEST(RebuildAddedNames, AreCheckedForLengthAndPresence) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenMemory(DataFile("method1.arj")), RESULT_OK);
  struct Case {
    std::string name;
    ResultCode expected;
  };
  for (const Case& c : {Case{"", ERR_BAD_PARAMETER}, Case{std::string(2569, 'n'), ERR_BAD_PARAMETER},
                        Case{std::string(5000, 'n'), ERR_BAD_PARAMETER}, Case{std::string(2568, 'n'), RESULT_OK}}) {
    SCOPED_TRACE(c.name.size());
    RecordingList list;
    ObjectRef io = MemoryContent(host.root(), ToBytes("x"), c.name);
    list.added = {io};
    Bytes out;
    EXPECT_EQ(RebuildInto(f, list.ref(), &out), c.expected);
    if (c.expected == RESULT_OK) {
      const ParsedArchive w = ParseArchive(out);
      ASSERT_TRUE(w.ended);
      EXPECT_EQ(w.entries.back().name, c.name);
      EXPECT_EQ(w.entries.back().basic_size, 2600);
    }
    host::CloseIfOpen(io);
  }
}

}  // namespace
}  // namespace testing_support
