// CheckParts: whether a listed entry's parts make up its file, from what
// their headers say; CheckEntry as an embedder meets it; and how the
// headers' fields are paired with the plug-in's entries.
#include <gtest/gtest.h>

#include <map>

#include "plugin/format/arj_layout.h"
#include "runtime/api/archive.h"
#include "runtime/api/internal/entry_metadata.h"
#include "tests/support/api_status.h"
#include "tests/support/archive_builder.h"
#include "tests/support/bytes.h"
#include "tests/support/files.h"

namespace {

using namespace arjhost::format;
using EntryPart = arjhost::EntryInfo::Part;

// A part whose own header was read: its file type and name.
EntryPart ReadPart(uint64_t size, int64_t position, uint8_t file_type, bool name_matches = true) {
  EntryPart p(size, 0, position);
  p.header_known = true;
  p.file_type = FileTypeOf(file_type);
  p.name_matches = name_matches;
  return p;
}

// A part missing, or out of order, is a volume the caller may yet find;
// a part that is not the file's is damage.
TEST(CheckParts, PartsMustStartWhereThePartsBeforeThemEnd) {
  using arjhost::Code;
  const uint64_t kNearFourGiB = 0xFFFFFFF0u;
  const EntryFlag next = EntryFlag::kContinuesInNext;
  const struct {
    const char* label;
    EntryFlag flags;
    std::vector<EntryPart> parts;
    Code code;
    const char* problem;  // "" for none
  } cases[] = {
      {"a whole entry", EntryFlagsOf(0), {{10, 1, 0}}, Code::kOk, ""},
      {"parts in order", next, {{10, 1, 0}, {20, 2, 10}, {5, 3, 30}}, Code::kOk, ""},
      {"positions not stored", next, {{10, 1, -1}, {20, 2, -1}}, Code::kOk, ""},
      {"a first part that does not start the file", next, {{10, 1, 100}, {20, 2, 110}}, Code::kOk, ""},
      {"a part missing between", next, {{10, 1, 0}, {5, 3, 30}}, Code::kVolumeMissing,
       "part 2 of 2 starts at offset 30 of the file, where the parts before it end at 10"},
      {"parts out of order", next, {{10, 1, 0}, {20, 2, 30}, {5, 3, 10}}, Code::kVolumeMissing,
       "part 2 of 3 starts at offset 30 of the file"},
      {"positions wrap at 4 GiB", next, {{kNearFourGiB, 1, 0}, {0x20, 2, 0xFFFFFFF0}, {1, 3, 0x10}}, Code::kOk, ""},
      {"an orphan part", EntryFlag::kContinuesPrevious, {{10, 1, 40}}, Code::kVolumeMissing,
       "its first part is missing"},
      // Each later part's header is judged as the first part's is.
      {"binary and text parts", next, {ReadPart(10, 0, 0), ReadPart(20, 10, 1)}, Code::kOk, ""},
      {"a label among the parts", next, {ReadPart(10, 0, 0), ReadPart(20, 10, 4)}, Code::kDamaged,
       "part 2 of 2 has file type 4 where the first part has 0"},
      {"a folder's parts, all folders", next, {ReadPart(0, 0, 3), ReadPart(0, 0, 3)}, Code::kOk, ""},
      {"a part of another name", next, {ReadPart(10, 0, 0), ReadPart(20, 10, 0, false)}, Code::kDamaged,
       "part 2 of 2 names another file in its header"},
      {"a later part's header not read", next, {ReadPart(10, 0, 0), {20, 2, 10}}, Code::kOk, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    arjhost::EntryInfo e;
    e.header_known = true;
    e.flags = c.flags;
    e.parts = c.parts;
    const arjhost::Status parts = arjhost::CheckParts(e);
    EXPECT_EQ(parts.code, c.code) << parts.message;
    EXPECT_EQ(parts.message.rfind(c.problem, 0), 0u) << parts.message;
    if (*c.problem == '\0') {
      EXPECT_EQ(parts.message, "");
    }
  }
}

}  // namespace

namespace testing_support {
namespace {

// An embedder's Test and Extract give the verdict the tool gives: an entry
// that cannot be what its header says fails before anything is decoded,
// what this reader does not know as unsupported, the rest as damage.
TEST(CheckEntry, EmbeddersGetItFromTestAndExtract) {
  using arjhost::Code;
  arjhost::Host host;
  ASSERT_TRUE(IsOk(host.LoadPlugin(BuildPath("libarj_plugin.so"))));
  HeaderSpec unknown = StoredEntry("unknown.bin", "data");
  unknown.file_type = 7;
  HeaderSpec newer = StoredEntry("newer.bin", "data");
  newer.min_version = kNewestEntryVersion + 1;
  HeaderSpec folder = StoredEntry("folder", "data");
  folder.file_type = Byte(FileType::kDirectory);
  HeaderSpec label = StoredEntry("<<<001>>>", "");
  label.file_type = Byte(FileType::kChapterLabel);
  label.file_crc = 1;
  HeaderSpec empty_folder = StoredEntry("empty", "");
  empty_folder.file_type = Byte(FileType::kDirectory);
  const Bytes bytes = Concat({MainHeader(), BuildHeader(unknown), BuildHeader(newer), BuildHeader(folder),
                              BuildHeader(label), BuildHeader(empty_folder), BuildHeader(StoredEntry("a.txt", "a")),
                              EndMarker()});
  arjhost::OpenResult opened = arjhost::Archive::OpenMemory(host, bytes.data(), bytes.size(), {});
  ASSERT_TRUE(IsOk(opened.status));
  const struct {
    Code code;
    std::string message;
  } expected[] = {{Code::kUnsupported, "unknown file type 7"},
                  {Code::kUnsupported, "it needs format version 12, newer than the 11"},
                  {Code::kDamaged, "a folder entry that holds data"},
                  {Code::kDamaged, "a chapter label entry whose CRC 00000001 is not that of no data"},
                  {Code::kOk, ""},
                  {Code::kOk, ""}};
  const std::vector<arjhost::EntryInfo> entries = opened.archive->Entries();
  ASSERT_EQ(entries.size(), std::size(expected));
  for (size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(entries[i].name);
    size_t delivered = 0;
    const arjhost::ExtractResult tested = opened.archive->Test(entries[i], nullptr);
    const arjhost::ExtractResult extracted = opened.archive->Extract(
        entries[i], [&delivered](const uint8_t*, size_t size) { return delivered += size, true; }, nullptr);
    for (const arjhost::Status& status : {arjhost::CheckEntry(entries[i]), tested.status, extracted.status}) {
      EXPECT_EQ(status.code, expected[i].code) << status.message;
      EXPECT_EQ(status.message.rfind(expected[i].message, 0), 0u) << status.message;
    }
    if (expected[i].code != Code::kOk) {
      EXPECT_EQ(delivered, 0u) << "nothing is decoded";
    }
  }
}

}  // namespace
}  // namespace testing_support

namespace {

using arjhost::format::HeaderFields;

HeaderFields Header(const std::string& name, uint64_t offset, int64_t position = -1, bool crc_ok = true) {
  HeaderFields h;
  h.name = name;
  h.offset = offset;
  h.file_position = position;
  h.crc_matches = crc_ok;
  h.host_os = arjhost::format::HostOs::kUnix;
  h.file_time = 1000;
  return h;
}

arjhost::EntryInfo Listed(uint64_t handle, const std::string& name, size_t parts) {
  arjhost::EntryInfo e;
  e.handle = arjhost::EntryHandle(handle);
  e.name = name;
  e.name_whole = name.size() < arjhost::format::kStoredNameChars;
  e.parts.assign(parts, EntryPart(1, 0));
  return e;
}

// The plug-in lists a volume's entries in header order: the n-th table
// entry of a volume takes the n-th local header of that volume, each part
// its own, and a header naming another file is not the entry's.
TEST(FillEntryMetadata, EachTableEntryTakesTheHeaderAtItsPlaceInItsVolume) {
  const std::string long_name(600, 'L');
  const std::string cut = long_name.substr(0, arjhost::format::kStoredNameChars);
  // Table: a.arj holds a, c (its name cut) and b's first part; a.a01 b's
  // second part, d and e; a.a02 cannot be read and holds f.
  arjhost::TableVolumes table{{"a.arj", "a.a01", "a.a02"}, {0, 0, 0, 1, 1, 1, 2}};
  std::map<std::string, std::vector<HeaderFields>> volumes = {
      {"a.arj", {Header("a", 10), Header(long_name, 20), Header("b", 30, 0)}},
      {"a.a01", {Header("other", 40, 7, false), Header("d-renamed", 50), Header("e", 60)}},
  };
  std::vector<arjhost::EntryInfo> entries = {Listed(1, "a", 1), Listed(2, cut, 1), Listed(3, "b", 2),
                                             Listed(5, "d", 1), Listed(6, "e", 1), Listed(7, "f", 1)};
  arjhost::FillEntryMetadata(entries, table,
                             [&volumes](const std::string& volume, const arjhost::format::HeaderVisitor& visit) {
                               for (const HeaderFields& h : volumes[volume]) visit(h);
                             });
  EXPECT_TRUE(entries[0].header_known);
  EXPECT_EQ(entries[0].header_offset, 10u);
  EXPECT_EQ(entries[0].modified_time, 1000) << "Unix seconds of a UNIX host";
  // c: the plug-in's name was cut at its limit; the header's is whole.
  EXPECT_TRUE(entries[1].header_known);
  EXPECT_EQ(entries[1].name, long_name);
  EXPECT_TRUE(entries[1].name_whole);
  // b: its first part from a.arj, its second judged by its own header, whose
  // name and CRC are wrong.
  EXPECT_TRUE(entries[2].header_known);
  EXPECT_EQ(entries[2].header_offset, 30u);
  ASSERT_EQ(entries[2].parts.size(), 2u);
  EXPECT_EQ(entries[2].parts[0].volume, "a.arj");
  EXPECT_EQ(entries[2].parts[1].volume, "a.a01");
  EXPECT_TRUE(entries[2].parts[1].header_known);
  EXPECT_EQ(entries[2].parts[1].header_offset, 40u);
  EXPECT_EQ(entries[2].parts[1].position, 7);
  EXPECT_FALSE(entries[2].parts[1].name_matches);
  EXPECT_FALSE(entries[2].header_crc_ok) << "an entry is sound only when every part's header is";
  EXPECT_EQ(arjhost::CheckParts(entries[2]).code, arjhost::Code::kDamaged);
  // d: the header at its place names another file.
  EXPECT_FALSE(entries[3].header_known);
  EXPECT_EQ(entries[3].name, "d");
  EXPECT_TRUE(entries[4].header_known);
  EXPECT_EQ(entries[4].header_offset, 60u);
  // f: its volume could not be read.
  EXPECT_FALSE(entries[5].header_known);
  EXPECT_EQ(entries[5].parts[0].volume, "a.a02");
}

// An entry past the table the plug-in's selector reached, or a volume index
// the table does not name, is left without header fields.
TEST(FillEntryMetadata, EntriesBeyondTheTableAreLeftUnknown) {
  arjhost::TableVolumes table{{""}, {0, 5}};
  std::vector<arjhost::EntryInfo> entries = {Listed(1, "a", 1), Listed(2, "b", 1), Listed(3, "c", 1)};
  int walks = 0;
  arjhost::FillEntryMetadata(entries, table, [&walks](const std::string&, const arjhost::format::HeaderVisitor& visit) {
    ++walks;
    for (const char* name : {"a", "b", "c"}) visit(Header(name, 1));
  });
  EXPECT_EQ(walks, 1) << "each volume is walked once";
  EXPECT_TRUE(entries[0].header_known);
  EXPECT_FALSE(entries[1].header_known);
  EXPECT_FALSE(entries[2].header_known);
}

}  // namespace
