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
  HeaderSpec folder_with_data = StoredEntry("folder", text);
  folder_with_data.file_type = 3;
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
      {"a folder entry holding data", {folder_with_data}, 1, "folder: a folder or label entry that holds data", true},
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

namespace {

// Archives made by arj's everyday switches: what arj x extracts, we
// extract; what they carry, the listing shows.
TEST(ArjFeatures, ChaptersCommentsAndProtectionAsArjMakesThem) {
  REQUIRE_PEER("arj");
  TempDir dir;
  const std::string src = dir.File("src");
  fs::create_directories(src);
  auto put = [&src](const std::string& name, const std::string& text, const std::string& when) {
    WriteFile(src + "/" + name, ToBytes(text));
    ASSERT_EQ(std::system(("touch -d '" + when + "' " + src + "/" + name).c_str()), 0);
  };
  // Three chapters: a.txt changes in each, b.txt in none, c.txt comes last.
  put("a.txt", "first\n", "2020-01-01 10:00");
  put("b.txt", "bee\n", "2020-01-01 10:00");
  ASSERT_EQ(RunArj(src, "ac ../chapters.arj a.txt b.txt"), 0);
  put("a.txt", "second one\n", "2020-01-02 10:00");
  ASSERT_EQ(RunArj(src, "ac ../chapters.arj a.txt b.txt"), 0);
  put("a.txt", "the third version\n", "2020-01-03 10:00");
  put("c.txt", "sea\n", "2020-01-03 10:00");
  ASSERT_EQ(RunArj(src, "ac ../chapters.arj a.txt c.txt"), 0);
  put("archive-comment.txt", "made for the tests\nsecond line\n", "2020-01-01 10:00");
  put("entry-comment.txt", "about b\n", "2020-01-01 10:00");
  ASSERT_EQ(RunArj(src, "a ../comments.arj a.txt b.txt -zarchive-comment.txt"), 0);
  ASSERT_EQ(RunArj(src, "c ../comments.arj b.txt -jzentry-comment.txt"), 0);
  ASSERT_EQ(RunArj(src, "a ../protected.arj a.txt b.txt c.txt -hk"), 0);

  const struct {
    const char* archive;
    const char* json;        // of list --json
    const char* arj_switches;  // what arj x needs to extract the same
    const char* our_switches;
  } cases[] = {
      {"chapters.arj",
       "d['chapter'] == 3 and [tuple(e['chapters']) for e in d['entries'] if e['name'] == 'b.txt'] == [(1, 2)] and "
       "len([e for e in d['entries'] if e['file_type'] == 5]) == 3",
       "", ""},
      {"chapters.arj", "True", "-jb1", "--chapter 1"},
      {"comments.arj",
       "d['comment'] == 'made for the tests\\nsecond line\\n' and "
       "[e['comment'] for e in d['entries']] == ['', 'about b\\n']",
       "", ""},
      {"protected.arj", "d['protected'] and not d['damaged'] and len(d['entries']) == 3", "", ""},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string archive = dir.File(c.archive);
    std::string out;
    EXPECT_EQ(RunToolStdout("list --json " + archive, &out), 0) << c.archive;
    EXPECT_TRUE(JsonSatisfies(out, c.json)) << out;
    EXPECT_EQ(RunTool("test " + archive + " " + c.our_switches, &out), 0) << out;
    const std::string ours = dir.File("ours" + std::to_string(n)), theirs = dir.File("arj" + std::to_string(n++));
    fs::create_directories(theirs);
    ASSERT_EQ(RunArj(theirs, std::string("x ") + archive + " " + c.arj_switches), 0) << c.archive;
    EXPECT_EQ(RunTool("extract " + archive + " -C " + ours + " " + c.our_switches, &out), 0) << out;
    ExpectSameTree(ours, theirs);
  }
  std::string out;
  EXPECT_EQ(RunTool("list " + dir.File("comments.arj"), &out), 0);
  EXPECT_NE(out.find("\n  made for the tests\n  second line\n"), std::string::npos) << out;
  EXPECT_NE(out.find("    comment: about b\n"), std::string::npos) << out;
  // A rewrite drops the protection data with a notice; arj accepts the result.
  EXPECT_EQ(RunTool("delete " + dir.File("protected.arj") + " c.txt", &out), 0) << out;
  EXPECT_NE(out.find("ARJ-PROTECT data is not carried over"), std::string::npos) << out;
  EXPECT_EQ(RunArj(dir.path(), "t protected.arj"), 0);
}

}  // namespace
