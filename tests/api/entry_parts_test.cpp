// CheckParts: whether a listed entry's parts make up its file, from what
// their headers say; CheckEntry as an embedder meets it; and how the
// headers' fields are paired with the plug-in's entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "plugin/format/arj_layout.h"
#include "plugin/format/arj_time.h"
#include "plugin/format/header_notice.h"
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

// Each entry takes the headers of its own place in the plug-in's table,
// whatever their names: entries of one name, an entry whose header fails
// its CRC between sound ones, a chapter archive's ranges and label, and
// the parts of a file split over two volumes, each part judged by the
// header of its own volume.
TEST(EntryHeaders, EachEntryTakesTheHeaderAtItsPlace) {
  arjhost::Host host;
  ASSERT_TRUE(IsOk(host.LoadPlugin(BuildPath("libarj_plugin.so"))));
  struct Expected {
    std::string name;
    uint32_t dos_time;
    bool crc_ok;
    uint8_t last_chapter;
  };
  // A volume's bytes, and the offset of each local header in it.
  struct Volume {
    Bytes bytes;
    std::vector<uint64_t> offsets;
  };
  const auto volume = [](uint8_t main_flags, const std::vector<HeaderSpec>& headers, int damaged = -1) {
    Volume v{MainHeader("set.arj", main_flags), {}};
    for (size_t i = 0; i < headers.size(); ++i) {
      v.offsets.push_back(v.bytes.size());
      Bytes header = BuildHeader(headers[i]);
      // The header CRC follows the basic header: its last byte, flipped.
      if (static_cast<int>(i) == damaged) header[4 + LoadWord(header.data() + 2) + 3] ^= 0xFF;
      v.bytes.insert(v.bytes.end(), header.begin(), header.end());
    }
    v.bytes = Concat({v.bytes, EndMarker()});
    return v;
  };
  const auto entry = [](const std::string& name, uint32_t dos_time, uint8_t chapter = 0) {
    HeaderSpec h = StoredEntry(name, name + " data");
    h.dos_time = dos_time;
    h.first_chapter = chapter != 0 ? 1 : 0;
    h.last_chapter = chapter;
    return h;
  };
  HeaderSpec label = StoredEntry("<<<002>>>", "");
  label.file_type = Byte(FileType::kChapterLabel);
  label.first_chapter = label.last_chapter = 2;
  HeaderSpec first_part = entry("split", 0x5A8C6101);
  first_part.flags = Byte(EntryFlag::kContinuesInNext);
  first_part.first_header_size = 34;
  HeaderSpec second_part = entry("split", 0x5A8C6102);
  second_part.flags = Byte(EntryFlag::kContinuesPrevious);
  second_part.first_header_size = 34;
  const struct {
    const char* label;
    std::vector<Volume> volumes;
    std::vector<Expected> expected;
  } cases[] = {
      {"entries of one name",
       {volume(0, {entry("same", 0x5A8C6001), entry("same", 0x5A8C6002), entry("same", 0x5A8C6003)})},
       {{"same", 0x5A8C6001, true, 0}, {"same", 0x5A8C6002, true, 0}, {"same", 0x5A8C6003, true, 0}}},
      {"a damaged header between sound ones",
       {volume(0, {entry("a", 0x5A8C6001), entry("b", 0x5A8C6002), entry("a", 0x5A8C6003)}, 1)},
       {{"a", 0x5A8C6001, true, 0}, {"b", 0x5A8C6002, false, 0}, {"a", 0x5A8C6003, true, 0}}},
      {"a chapter archive",
       {volume(0, {entry("a", 0x5A8C6001, 1), entry("a", 0x5A8C6002, 2), label})},
       {{"a", 0x5A8C6001, true, 1}, {"a", 0x5A8C6002, true, 2}, {"<<<002>>>", 0x5A8C6000, true, 2}}},
      {"a volume set",
       {volume(static_cast<uint8_t>(MainFlag::kContinuesInNext), {entry("a", 0x5A8C6001), first_part}),
        volume(0, {second_part, entry("a", 0x5A8C6003)})},
       {{"a", 0x5A8C6001, true, 0}, {"split", 0x5A8C6101, true, 0}, {"a", 0x5A8C6003, true, 0}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const std::vector<Volume>& volumes = c.volumes;
    arjhost::OpenOptions options;
    options.name = "set.arj";
    options.open_volume = [&volumes](const std::string& name, arjhost::ArchiveReader* reader) {
      if (name != "set.a01" || volumes.size() < 2) return arjhost::VolumeLookup::kMissing;
      const Bytes& bytes = volumes[1].bytes;
      reader->size = bytes.size();
      reader->read_at = [&bytes](uint64_t offset, void* buffer, size_t size) -> int64_t {
        const size_t count = offset < bytes.size() ? std::min<size_t>(size, bytes.size() - offset) : 0;
        if (count != 0) std::memcpy(buffer, bytes.data() + offset, count);
        return static_cast<int64_t>(count);
      };
      return arjhost::VolumeLookup::kOpened;
    };
    arjhost::OpenResult opened =
        arjhost::Archive::OpenMemory(host, volumes[0].bytes.data(), volumes[0].bytes.size(), options);
    ASSERT_TRUE(IsOk(opened.status));
    const std::vector<arjhost::EntryInfo> entries = opened.archive->Entries();
    ASSERT_EQ(entries.size(), c.expected.size());
    // The headers in the order the entries take them (a split file: one).
    std::vector<std::pair<size_t, uint64_t>> places;
    for (size_t v = 0; v < volumes.size(); ++v)
      for (uint64_t offset : volumes[v].offsets) places.emplace_back(v, offset);
    size_t place = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
      SCOPED_TRACE(i);
      const arjhost::EntryInfo& e = entries[i];
      EXPECT_TRUE(e.header_known);
      EXPECT_EQ(e.name, c.expected[i].name);
      EXPECT_EQ(e.modified_time, EntryTimeToUnix(c.expected[i].dos_time, HostOs::kMsDos));
      EXPECT_EQ(e.header_crc_ok, c.expected[i].crc_ok);
      EXPECT_EQ(e.last_chapter, c.expected[i].last_chapter);
      EXPECT_EQ(e.header_offset, places[place].second);
      for (const arjhost::EntryInfo::Part& part : e.parts) {
        ASSERT_LT(place, places.size());
        EXPECT_TRUE(part.header_known);
        EXPECT_EQ(part.header_offset, places[place].second);
        EXPECT_EQ(part.volume, volumes.size() < 2 ? "" : places[place].first == 0 ? "set.arj" : "set.a01");
        ++place;
      }
    }
    EXPECT_EQ(place, places.size()) << "every header is some entry's";
    // The walk that keeps none hands over the same entries, and stops when asked.
    std::vector<arjhost::EntryInfo> walked;
    opened.archive->ForEachEntry([&walked](const arjhost::EntryInfo& e) {
      walked.push_back(e);
      return true;
    });
    ASSERT_EQ(walked.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
      EXPECT_EQ(walked[i].handle, entries[i].handle);
      EXPECT_EQ(walked[i].crc, entries[i].crc);
      EXPECT_EQ(walked[i].header_offset, entries[i].header_offset);
      EXPECT_EQ(walked[i].parts.size(), entries[i].parts.size());
    }
    size_t visits = 0;
    opened.archive->ForEachEntry([&visits](const arjhost::EntryInfo&) { return ++visits < 2; });
    EXPECT_EQ(visits, 2u);
  }
}

// The open of an archive of one volume reads its headers once: the scan
// of the whole set, finding no other volume, keeps the table the first
// scan made (it read them twice, which a listing of many entries felt).
TEST(EntryHeaders, OneVolumeIsScannedOnce) {
  arjhost::Host host;
  ASSERT_TRUE(IsOk(host.LoadPlugin(BuildPath("libarj_plugin.so"))));
  Bytes archive = MainHeader("one.arj", 0);
  for (int i = 0; i < 300; ++i) {
    const Bytes header = BuildHeader(StoredEntry("entry" + std::to_string(i), "x"));
    archive.insert(archive.end(), header.begin(), header.end());
  }
  archive = Concat({archive, EndMarker()});
  uint64_t bytes_read = 0;
  arjhost::ArchiveReader reader;
  reader.size = archive.size();
  reader.read_at = [&](uint64_t offset, void* buffer, size_t size) -> int64_t {
    const size_t count = offset < archive.size() ? std::min<size_t>(size, archive.size() - offset) : 0;
    if (count != 0) std::memcpy(buffer, archive.data() + offset, count);
    bytes_read += count;
    return static_cast<int64_t>(count);
  };
  arjhost::OpenOptions options;
  options.name = "one.arj";
  arjhost::OpenResult opened = arjhost::Archive::OpenReader(host, reader, options);
  ASSERT_TRUE(IsOk(opened.status));
  EXPECT_EQ(opened.archive->Entries().size(), 300u);
  EXPECT_LT(bytes_read, archive.size() * 3 / 2) << "of " << archive.size() << " bytes";
}

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

using testing_support::HeaderSpec;

// The notice the plug-in's scan sends for the header `wanted` makes, at
// `offset` of its volume, in table row `row`.
testing_support::Bytes Notice(uint32_t row, const HeaderSpec& wanted, uint32_t offset) {
  const testing_support::Bytes header = testing_support::BuildHeader(wanted);
  const arjhost::format::ByteReader reader{
      const_cast<testing_support::Bytes*>(&header), [](void* context, uint64_t at, void* buffer, uint32_t size) {
        const auto& bytes = *static_cast<const testing_support::Bytes*>(context);
        const size_t count = at < bytes.size() ? std::min<size_t>(size, bytes.size() - at) : 0;
        if (count != 0) std::memcpy(buffer, bytes.data() + at, count);
        return static_cast<int64_t>(count);
      }};
  uint8_t prefix[arjhost::format::kMaxHeaderPrefix];
  arjhost::format::HeaderFacts facts;
  EXPECT_EQ(arjhost::format::ReadHeader(reader, 0, arjhost::format::HeaderRole::kLocal, arjhost::format::kTablePolicy,
                                        prefix, &facts),
            arjhost::format::HeaderCause::kHeader);
  facts.offset = offset;
  testing_support::Bytes notice(arjhost::format::kMaxHeaderNotice);
  notice.resize(arjhost::format::EncodeHeaderNotice(row, prefix, facts, notice.data()));
  return notice;
}

// `part`: a header of a volume set, which holds where its part starts in
// the file (0 here).
HeaderSpec Described(const std::string& name, uint32_t dos_time, bool part = false) {
  HeaderSpec h;
  h.name = name;
  h.dos_time = dos_time;
  if (part) h.first_header_size = 34;
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

// Each table row takes the header the plug-in's scan read for it, by
// position: entries of the same name each keep their own header, a name
// the plug-in cut is made whole, and a later part is judged by its own
// header, whatever it names.
TEST(FillEntryHeaders, EachEntryTakesTheHeadersOfItsOwnRows) {
  const std::string long_name(600, 'L');
  const std::string cut = long_name.substr(0, arjhost::format::kStoredNameChars);
  // Rows: a, a again, the long name, b's first part, b's second part
  // (another name), c, then d, whose header fails its CRC.
  HeaderSpec damaged = Described("other", 0x5A8C6005, true);
  arjhost::EntryHeaders headers;
  const testing_support::Bytes notices[] = {
      Notice(0, Described("a", 0x5A8C6001), 10),  Notice(1, Described("a", 0x5A8C6002), 20),
      Notice(2, Described(long_name, 0x5A8C6003), 30), Notice(3, Described("b", 0x5A8C6004, true), 40),
      Notice(4, damaged, 50),                Notice(5, Described("c", 0x5A8C6006), 60)};
  for (const testing_support::Bytes& n : notices) ASSERT_TRUE(headers.Take(nullptr, n.data(), n.size()));
  // Damage a stored CRC: the row is still taken, and judged.
  testing_support::Bytes bad = Notice(6, Described("d", 0x5A8C6007), 70);
  bad[8] = 0;
  ASSERT_TRUE(headers.Take(nullptr, bad.data(), bad.size()));
  EXPECT_EQ(headers.rows(), 7u);

  std::vector<arjhost::EntryInfo> entries = {Listed(1, "a", 1), Listed(2, "a", 1), Listed(3, cut, 1),
                                             Listed(4, "b", 2), Listed(6, "c", 1), Listed(7, "d", 1),
                                             Listed(8, "e", 1)};
  const std::map<uint64_t, std::string> row_names = {{4, "other"}};
  for (arjhost::EntryInfo& e : entries)
    arjhost::FillEntryHeaders(e, headers, [&row_names](uint64_t row) { return row_names.at(row); });
  EXPECT_TRUE(entries[0].header_known);
  EXPECT_TRUE(entries[1].header_known);
  EXPECT_EQ(entries[0].header_offset, 10u);
  EXPECT_EQ(entries[1].header_offset, 20u) << "the second entry of a name takes its own header";
  EXPECT_NE(entries[0].modified_time, entries[1].modified_time);
  EXPECT_TRUE(entries[2].header_known);
  EXPECT_EQ(entries[2].name, long_name);
  EXPECT_TRUE(entries[2].name_whole);
  EXPECT_TRUE(entries[3].header_known);
  EXPECT_EQ(entries[3].header_offset, 40u);
  ASSERT_EQ(entries[3].parts.size(), 2u);
  EXPECT_TRUE(entries[3].parts[1].header_known);
  EXPECT_EQ(entries[3].parts[1].header_offset, 50u);
  EXPECT_EQ(entries[3].parts[1].position, 0);
  EXPECT_FALSE(entries[3].parts[1].name_matches);
  EXPECT_EQ(arjhost::CheckParts(entries[3]).code, arjhost::Code::kDamaged);
  EXPECT_TRUE(entries[4].header_known);
  EXPECT_EQ(entries[4].header_offset, 60u);
  EXPECT_TRUE(entries[5].header_known);
  EXPECT_FALSE(entries[5].header_crc_ok);
  EXPECT_EQ(arjhost::CheckEntry(entries[5]).code, arjhost::Code::kDamaged);
  // e: past the rows the scan read.
  EXPECT_FALSE(entries[6].header_known);
}

// The plug-in scans its own volume, then again with the set's others: row
// 0 starts the table over, and a row out of order or a notice that is not
// a header is refused.
TEST(FillEntryHeaders, RowZeroStartsOverAndRowsComeInOrder) {
  arjhost::EntryHeaders headers;
  for (const testing_support::Bytes& n : {Notice(0, Described("a", 0x5A8C6001), 10), Notice(1, Described("b", 0), 20)})
    ASSERT_TRUE(headers.Take(nullptr, n.data(), n.size()));
  const testing_support::Bytes again = Notice(0, Described("z", 0x5A8C6002), 30);
  ASSERT_TRUE(headers.Take(nullptr, again.data(), again.size()));
  EXPECT_EQ(headers.rows(), 1u);
  const testing_support::Bytes skipped = Notice(2, Described("c", 0), 40);
  EXPECT_FALSE(headers.Take(nullptr, skipped.data(), skipped.size()));
  testing_support::Bytes cut = Notice(1, Described("c", 0), 40);
  cut.resize(cut.size() - 3);
  EXPECT_FALSE(headers.Take(nullptr, cut.data(), cut.size()));
  EXPECT_FALSE(headers.Take(nullptr, cut.data(), 5));
  arjhost::format::HeaderFields h;
  ASSERT_TRUE(headers.Read(0, "z", &h));
  EXPECT_EQ(h.offset, 30u);
  EXPECT_FALSE(headers.Read(1, "b", &h));
}

}  // namespace
