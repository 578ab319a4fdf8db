// Main headers: where the search behind a stub finds one, and the one a
// new archive starts with.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>

#include "plugin/format/header_fields.h"
#include "plugin/format/header_walk.h"
#include "runtime/api/archive.h"
#include "tests/support/api_status.h"
#include "tests/support/archive_builder.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"

namespace {

using namespace testing_support;

// Reads `bytes` as a file would be read; a read at `failing` fails.
struct BytesReader {
  const Bytes& bytes;
  uint64_t failing = UINT64_MAX;

  ByteReader reader() { return {this, Read}; }
  static int64_t Read(void* context, uint64_t offset, void* buffer, uint32_t size) {
    auto* self = static_cast<BytesReader*>(context);
    if (offset <= self->failing && self->failing < offset + size) return -5;
    if (offset >= self->bytes.size()) return 0;
    const size_t n = std::min<size_t>(size, self->bytes.size() - offset);
    std::copy_n(self->bytes.begin() + static_cast<long>(offset), n, static_cast<uint8_t*>(buffer));
    return static_cast<int64_t>(n);
  }
};

// A main header asking for `min_version`, one entry, the end marker.
Bytes ArchiveAsking(uint8_t min_version) {
  HeaderSpec main;
  main.name = "sfx.arj";
  main.file_type = Byte(FileType::kMainHeader);
  main.min_version = min_version;
  return Concat({BuildHeader(main), BuildHeader(StoredEntry("a.txt", "first")),
                 BuildHeader(StoredEntry("b.txt", "second")), EndMarker()});
}

// A stub of `size` bytes without a header id in it.
Bytes Stub(size_t size) { return Bytes(size, 'S'); }

TEST(FindMainHeader, TheFirstSoundHeaderWhenItAsksForVersionOne) {
  Bytes spoilt = MainHeader("old.arj");
  spoilt[10] ^= 1;  // the CRC no longer matches
  const Bytes sound_local = BuildHeader(StoredEntry("stray.txt", "x"));
  const size_t kChunk = 64 * 1024;
  const struct {
    const char* label;
    Bytes file;
    bool found;
    uint64_t offset;
  } cases[] = {
      {"version 1", Concat({Stub(100), ArchiveAsking(1)}), true, 100},
      // Refused, and the entries' headers after it not taken for it.
      {"version 0", Concat({Stub(100), ArchiveAsking(0)}), false, 0},
      {"version 12", Concat({Stub(100), ArchiveAsking(12)}), false, 0},
      {"a header failing its CRC is passed over", Concat({Stub(7), spoilt, Stub(3), ArchiveAsking(1)}), true,
       7 + spoilt.size() + 3},
      // arj takes the first sound header there, of whatever type.
      {"a sound local header comes first", Concat({Stub(9), sound_local, ArchiveAsking(1)}), true, 9},
      {"across the search's chunks", Concat({Stub(kChunk - 3), ArchiveAsking(1)}), true, kChunk - 3},
      {"no header", Stub(5000), false, 0},
      {"past the limit", Concat({Stub(kMainHeaderSearchLimit), ArchiveAsking(1)}), false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    BytesReader bytes{c.file};
    const SearchEnd end = FindMainHeader(bytes.reader(), kMainHeaderSearchLimit);
    EXPECT_EQ(end.found, c.found);
    EXPECT_EQ(end.read_error, 0);
    if (c.found) {
      EXPECT_EQ(end.offset, c.offset);
    }
  }
  const Bytes file = Concat({Stub(100), ArchiveAsking(1)});
  BytesReader failing{file, 50};
  EXPECT_EQ(FindMainHeader(failing.reader(), kMainHeaderSearchLimit).read_error, -5) << "a failed read is said";
}

// A self-extracting archive is judged by its main header as a plain one
// is: before, a main header asking for version 0 or 12 behind a stub was
// passed over and the first local header taken for it, and the archive
// listed without its first entry.
TEST(FindMainHeader, ASelfExtractingArchiveIsJudgedByItsMainHeader) {
  arjhost::Host host;
  ASSERT_TRUE(IsOk(host.LoadPlugin(BuildPath("libarj_plugin.so"))));
  TempDir dir;
  for (uint8_t version : {0, 1, 2, 12}) {
    SCOPED_TRACE(static_cast<int>(version));
    WriteFile(dir.File("sfx.exe"), Concat({Stub(300), ArchiveAsking(version)}));
    arjhost::OpenResult opened = arjhost::Archive::OpenFile(host, dir.File("sfx.exe"), {});
    if (version != 1) {
      EXPECT_EQ(opened.status.code, arjhost::Code::kNotAnArchive)
          << "a main header asking for another version is refused: " << opened.status.message;
      continue;
    }
    ASSERT_TRUE(IsOk(opened.status));
    const std::unique_ptr<arjhost::Archive>& archive = opened.archive;
    EXPECT_FALSE(archive->state().damaged);
    const std::vector<arjhost::EntryInfo> entries = archive->Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].name, "b.txt");
    EXPECT_TRUE(entries[1].header_known);
  }
}

TEST(EmptyArchiveBytes, AMainHeaderOfOurOwnAndTheEndMarker) {
  const std::time_t before = std::time(nullptr);
  const std::vector<std::string> names = {"new.arj", std::string(600, 'n')};
  for (const std::string& name : names) {
    const Bytes bytes = arjhost::EmptyArchiveBytes(name);
    BytesReader reader{bytes};
    HeaderFields main;
    ASSERT_EQ(ReadHeaderFields(reader.reader(), 0, HeaderRole::kMain, kSoundPolicy, &main), HeaderCause::kHeader);
    EXPECT_TRUE(AcceptableMainHeader(bytes.data()));
    EXPECT_EQ(main.file_type, FileType::kMainHeader);
    EXPECT_EQ(main.host_os, HostOs::kUnix);
    EXPECT_EQ(main.first_header_size, kWrittenFirstHeaderSize);
    EXPECT_EQ(main.archiver_version, kNewestEntryVersion);
    EXPECT_EQ(main.min_version, 1);
    EXPECT_EQ(main.flags, 0);
    EXPECT_EQ(main.last_chapter, 0);
    EXPECT_EQ(main.name, name.substr(0, 500)) << "a long name is cut well inside a basic header";
    EXPECT_EQ(main.comment, "");
    // Created and modified now, in the Unix seconds of a UNIX host.
    EXPECT_GE(main.file_time, static_cast<uint32_t>(before));
    EXPECT_LE(main.file_time, static_cast<uint32_t>(std::time(nullptr)));
    EXPECT_EQ(main.packed_size, main.file_time) << "the modification time";
    ASSERT_EQ(main.next_offset + kEndMarkerSize, bytes.size());
    EXPECT_EQ(ReadHeaderFields(reader.reader(), main.next_offset, HeaderRole::kLocal, kSoundPolicy, &main),
              HeaderCause::kEndMarker);
  }
}

TEST(EmptyArchiveBytes, ArjTakesItForAnArchiveWithoutEntries) {
  REQUIRE_PEER("arj");
  TempDir dir;
  WriteFile(dir.File("new.arj"), arjhost::EmptyArchiveBytes("new.arj"));
  std::string output;
  // arj warns of an archive without entries (exit code 1), having read its
  // main header.
  EXPECT_LE(RunArj(dir.path(), "l new.arj", &output), 1) << output;
  EXPECT_EQ(output.find("Bad header"), std::string::npos) << output;
  EXPECT_NE(output.find("Archive created"), std::string::npos) << output;
  EXPECT_NE(output.find("0 file"), std::string::npos) << output;
}

}  // namespace
