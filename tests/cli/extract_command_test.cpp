// The tool's extract and test commands as a user runs them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/cli/tool_runner.h"
#include "tests/support/archive_builder.h"
#include "tests/support/peers.h"
#include "tests/support/test_host.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;


// Every regular file under `dir`, relative to it.
std::vector<std::string> FilesUnder(const std::string& dir) {
  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) files.push_back(fs::relative(e.path(), dir).string());
  std::sort(files.begin(), files.end());
  return files;
}

void ExpectSameTree(const std::string& extracted, const std::string& source, const std::vector<std::string>& only = {}) {
  std::vector<std::string> files = FilesUnder(extracted);
  std::vector<std::string> expected = only.empty() ? FilesUnder(source) : only;
  EXPECT_EQ(files, expected);
  for (const std::string& f : files) EXPECT_EQ(ReadFile(extracted + "/" + f), ReadFile(source + "/" + f)) << f;
}

TEST(ExtractCommand, EveryMethodAndTheSplitSetComeOutByteForByte) {
  for (const char* name : {"method0.arj", "method1.arj", "method2.arj", "method3.arj", "method4.arj"}) {
    TempDir out;
    std::string log;
    ASSERT_EQ(RunTool("extract " + Data(name) + " -C " + out.path(), &log), 0) << name << "\n" << log;
    ExpectSameTree(out.path(), Data("src/mixed"));
  }
  for (const char* volume : {"split.arj", "split.a01", "split.a02"}) {
    TempDir out;
    std::string log;
    ASSERT_EQ(RunTool("extract -C " + out.path() + " " + Data(volume), &log), 0) << volume << "\n" << log;
    ExpectSameTree(out.path(), Data("src/split"));
  }
}

TEST(ExtractCommand, TheOtherTestArchivesExtractToTheirSources) {
  const struct {
    const char* archive;
    const char* source;
    std::vector<std::string> files;
  } cases[] = {{"entries20.arj", "src/twenty", {}},
               {"entries21.arj", "src/twentyone", {}},
               {"comment.arj", "src/mixed", {"text.txt"}},
               {"longname.arj", "src/long", {}},
               {"empty.arj", "src/mixed", {"-"}}};
  for (const auto& c : cases) {
    TempDir out;
    std::string log;
    ASSERT_EQ(RunTool("extract " + Data(c.archive) + " -C " + out.path(), &log), 0) << c.archive << "\n" << log;
    if (c.files.size() == 1 && c.files[0] == "-") EXPECT_TRUE(FilesUnder(out.path()).empty());
    else ExpectSameTree(out.path(), Data(c.source), c.files);
  }
}

TEST(ExtractCommand, AMissingContinuationVolumeLeavesTheRestAndSaysSo) {
  TempDir dir;
  for (const char* v : {"split.arj", "split.a01"}) WriteFile(dir.File(v), ReadFile(Data(v)));
  TempDir out;
  std::string log;
  EXPECT_EQ(RunTool("extract " + dir.File("split.arj") + " -C " + out.path(), &log), 1);
  EXPECT_NE(log.find("archive is incomplete"), std::string::npos) << log;
  EXPECT_EQ(FilesUnder(out.path()), (std::vector<std::string>{"small.txt"}));
}

TEST(ExtractCommand, AMissingMiddleOrLastVolumeIsNamed) {
  struct Case {
    std::vector<const char*> present;
    const char* missing;
  } cases[] = {{{"split.arj", "split.a01"}, "split.a02"}, {{"split.arj", "split.a02"}, "split.a01"}};
  for (const Case& c : cases) {
    TempDir dir, out;
    for (const char* v : c.present) WriteFile(dir.File(v), ReadFile(Data(v)));
    std::string log;
    EXPECT_EQ(RunTool("extract " + dir.File("split.arj") + " -C " + out.path(), &log), 1);
    EXPECT_NE(log.find(std::string("big.bin: the volume it continues into, ") + c.missing + ", is missing"),
              std::string::npos) << log;
    EXPECT_NE(log.find(std::string("is missing: ") + c.missing), std::string::npos) << log;
  }
}

// Archives that once tested "ok" quietly: arj's verdict is the expectation,
// except where we are deliberately louder.
TEST(ExtractCommand, SplitFlagsAndEmptyEntriesGetArjsVerdict) {
  REQUIRE_PEER("arj");
  const std::string text(300, 'w');
  HeaderSpec tampered = StoredEntry("whole.txt", text);
  tampered.data[0] = 'X';  // the CRC is still that of `text`
  HeaderSpec empty_with_crc = StoredEntry("empty.txt", "");
  empty_with_crc.file_crc = 0x12345678;
  struct Case {
    const char* label;
    std::vector<HeaderSpec> entries;
    int exit_code;
    const char* message;
    bool as_arj;  // false: arj passes it, we report more
  } cases[] = {
      {"a whole entry and an orphan part", {StoredEntry("whole.txt", text), StoredEntry("orphan.txt", "tail", 0x08)},
       0, "", true},
      {"a tampered whole entry and an orphan part", {tampered, StoredEntry("orphan.txt", "tail", 0x08)}, 1,
       "whole.txt: CRC mismatch", true},
      {"an empty entry whose CRC is not that of nothing", {empty_with_crc}, 1, "empty.txt: CRC mismatch", true},
      {"a last entry continuing into a missing volume", {StoredEntry("a.txt", "a"), StoredEntry("cut.bin", text, 0x04)},
       1, "cut.bin: the volume it continues into, test.a01, is missing", false},
  };
  for (const Case& c : cases) {
    TempDir dir;
    std::vector<Bytes> parts = {MainHeader()};
    for (const HeaderSpec& e : c.entries) parts.push_back(BuildHeader(e));
    parts.push_back(EndMarker());
    WriteFile(dir.File("test.arj"), Concat(parts));
    std::string log, listing;
    EXPECT_EQ(RunTool("test " + dir.File("test.arj"), &log), c.exit_code) << c.label << "\n" << log;
    EXPECT_NE(log.find(c.message), std::string::npos) << c.label << "\n" << log;
    RunToolStdout("list " + dir.File("test.arj"), &listing);
    for (const HeaderSpec& e : c.entries)
      if (!(e.flags & 0x08)) {
        EXPECT_NE(listing.find(e.name), std::string::npos) << c.label << "\n" << listing;
      }
    const bool arj_passes = RunArj(dir.path(), "t test.arj") == 0;
    EXPECT_EQ(arj_passes == (c.exit_code == 0), c.as_arj) << c.label;
  }
}

TEST(ExtractCommand, GarbledEntriesNeedTheRightPassword) {
  TempDir out;
  std::string log;
  ASSERT_EQ(RunTool("extract " + Data("garbled.arj") + " -C " + out.path() + " -psecret", &log), 0) << log;
  ExpectSameTree(out.path(), Data("src/mixed"), {"pattern.bin", "text.txt"});
  TempDir wrong;
  EXPECT_EQ(RunTool("extract " + Data("garbled.arj") + " -C " + wrong.path() + " -p nope", &log), 1);
  EXPECT_NE(log.find("text.txt: wrong password"), std::string::npos) << log;
  EXPECT_TRUE(FilesUnder(wrong.path()).empty()) << "a failed entry leaves no file, not even a partial one";
  EXPECT_EQ(RunTool("test " + Data("garbled.arj"), &log), 1);
  EXPECT_NE(log.find("no password was given"), std::string::npos) << log;
}

TEST(ExtractCommand, NamesChooseEntriesAndExistingFilesAreKeptUnlessOverwriting) {
  TempDir out;
  std::string log;
  ASSERT_EQ(RunTool("extract " + Data("method1.arj") + " text.txt one.txt -C " + out.path(), &log), 0) << log;
  EXPECT_EQ(FilesUnder(out.path()), (std::vector<std::string>{"one.txt", "text.txt"}));
  WriteFile(out.File("one.txt"), ToBytes("mine"));
  EXPECT_EQ(RunTool("extract " + Data("method1.arj") + " one.txt -C " + out.path(), &log), 1);
  EXPECT_NE(log.find("one.txt: exists (use -o to overwrite)"), std::string::npos) << log;
  EXPECT_EQ(ReadFile(out.File("one.txt")), ToBytes("mine"));
  EXPECT_EQ(RunTool("extract -o " + Data("method1.arj") + " one.txt -C " + out.path(), &log), 0) << log;
  EXPECT_EQ(ReadFile(out.File("one.txt")), ToBytes("x"));
  EXPECT_EQ(RunTool("extract " + Data("method1.arj") + " missing.txt -C " + out.path(), &log), 1);
  EXPECT_NE(log.find("missing.txt: no such entry"), std::string::npos) << log;
}

TEST(ExtractCommand, NamesThatWouldLeaveTheFolderAreRefused) {
  TempDir dir;
  std::string archive = dir.File("evil.arj");
  std::vector<Bytes> parts = {MainHeader()};
  for (const char* name : {"../up.txt", "/abs.txt", "\\abs2.txt", "C:\\drive.txt", "a/../../b.txt", "a\\..\\c.txt",
                           "link/through.txt", "ok/./fine.txt"})
    parts.push_back(BuildHeader(StoredEntry(name, "payload")));
  parts.push_back(EndMarker());
  WriteFile(archive, Concat(parts));
  std::string target = dir.File("out");
  fs::create_directories(target);
  fs::create_directories(dir.File("elsewhere"));
  fs::create_directory_symlink(dir.File("elsewhere"), target + "/link");
  std::string log;
  EXPECT_EQ(RunTool("extract " + archive + " -C " + target, &log), 1);
  for (const char* why : {"../up.txt: \"..\" in the name refused", "/abs.txt: absolute name refused",
                          "abs2.txt: absolute name refused", "drive.txt: drive letter refused",
                          "link/through.txt: path leads through link"})
    EXPECT_NE(log.find(why), std::string::npos) << why << "\n" << log;
  EXPECT_EQ(FilesUnder(target), (std::vector<std::string>{"ok/fine.txt"}));
  EXPECT_TRUE(FilesUnder(dir.File("elsewhere")).empty()) << "nothing was written through the link";
  EXPECT_FALSE(fs::exists(dir.File("up.txt")));
}

TEST(ExtractCommand, NamesOverThePluginsLimitAreListedAndExtractedWhole) {
  // Two names sharing their first 509 bytes: each keeps its own file.
  std::string shared;
  while (shared.size() < 600) shared += "folder/";
  TempDir dir;
  std::string archive = dir.File("long.arj");
  WriteFile(archive, Concat({MainHeader(), BuildHeader(StoredEntry(shared + "one.txt", "first")),
                             BuildHeader(StoredEntry(shared + "two.txt", "second")), EndMarker()}));
  std::string listing, log;
  ASSERT_EQ(RunToolStdout("list " + archive + " --json", &listing), 0) << listing;
  EXPECT_TRUE(JsonSatisfies(listing, "[e['name'] for e in d['entries']] == ['" + shared + "one.txt', '" + shared +
                                         "two.txt']"))
      << listing;
  ASSERT_EQ(RunTool("extract " + archive + " -C " + dir.File("out"), &log), 0) << log;
  EXPECT_EQ(ReadFile(dir.File("out/" + shared + "one.txt")), ToBytes("first"));
  EXPECT_EQ(ReadFile(dir.File("out/" + shared + "two.txt")), ToBytes("second"));
}

TEST(ExtractCommand, DamagedArchivesExtractWhatTheyCanAndSayWhatFailed) {
  TempDir out;
  std::string log;
  EXPECT_EQ(RunTool("extract " + Data("truncated.arj") + " -C " + out.path(), &log), 1);
  EXPECT_NE(log.find("random.bin: damaged data"), std::string::npos) << log;
  EXPECT_NE(log.find("archive is damaged"), std::string::npos) << log;
  EXPECT_EQ(ReadFile(out.File("text.txt")), ReadFile(Data("src/mixed/text.txt")));
  EXPECT_FALSE(fs::exists(out.File("random.bin")));
}

TEST(ExtractCommand, PackedDataRunningOnPastTheStreamFailsAsWithArjAndIsCounted) {
  // arj accepts nothing after a stored entry's bytes and two bytes after
  // the last bit a decoder takes. Method 1 here: one block of five 'A' in
  // 54 bits.
  const Bytes five_a = {0x00, 0x05, 0x00, 0x00, 0x04, 0x10, 0x00};
  const struct {
    uint8_t method;
    Bytes data;
    size_t extra;
    const char* error;  // nullptr: the entry passes
  } cases[] = {{0, ToBytes("AAAAA"), 0, nullptr},
               {0, ToBytes("AAAAA"), 1, "damaged data: 1 byte of packed data after the end of the stream"},
               {1, five_a, 2, nullptr},
               {1, five_a, 3, "damaged data: 3 bytes of packed data after the end of the stream"}};
  for (const auto& c : cases) {
    SCOPED_TRACE("method " + std::to_string(c.method) + ", " + std::to_string(c.extra) + " more");
    HeaderSpec entry = StoredEntry("five.txt", "AAAAA");
    entry.method = c.method;
    entry.data = c.data;
    entry.data.resize(entry.data.size() + c.extra, 0x5A);
    entry.packed_size = static_cast<uint32_t>(entry.data.size());
    TempDir dir;
    WriteFile(dir.File("a.arj"), Concat({MainHeader(), BuildHeader(entry), EndMarker()}));
    std::string log;
    EXPECT_EQ(RunTool("test " + dir.File("a.arj"), &log), c.error == nullptr ? 0 : 1) << log;
    if (c.error != nullptr) {
      EXPECT_NE(log.find(std::string("five.txt: ") + c.error), std::string::npos) << log;
    }
  }
}

TEST(ExtractCommand, CorruptPackedDataIsACrcOrDataErrorPerEntry) {
  Bytes archive = ReadFile(Data("method1.arj"));
  // Spoil bytes inside the packed data of text.txt (the third entry).
  size_t at = 0;
  for (size_t i = 0; i + 8 < archive.size(); ++i)
    if (std::string(archive.begin() + i, archive.begin() + i + 8) == "text.txt") at = i;
  ASSERT_NE(at, 0u);
  for (size_t i = at + 200; i < at + 220; ++i) archive[i] ^= 0x5A;
  TempDir dir;
  WriteFile(dir.File("bad.arj"), archive);
  std::string log;
  EXPECT_EQ(RunTool("test " + dir.File("bad.arj"), &log), 1);
  EXPECT_NE(log.find("text.txt: "), std::string::npos) << log;
  EXPECT_NE(log.find("5 ok, 1 failed"), std::string::npos) << log;
}

}  // namespace
