// The tool's extract and test commands as a user runs them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "tests/support/archive_builder.h"
#include "tests/support/archive_parser.h"
#include "tests/support/bytes.h"
#include "tests/support/commands.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"
#include "tests/support/tool_runner.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;


// Every regular file under `dir` (not a link to one), relative to it.
std::vector<std::string> FilesUnder(const std::string& dir) {
  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file() && !e.is_symlink()) files.push_back(e.path().lexically_relative(dir).string());
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
    int code;
  } cases[] = {{"entries20.arj", "src/twenty", {}, 0},
               {"entries21.arj", "src/twentyone", {}, 0},
               {"comment.arj", "src/mixed", {"text.txt"}, 0},
               {"longname.arj", "src/long", {}, 0},
               // arj warns of an archive without entries: so do we.
               {"empty.arj", "src/mixed", {"-"}, 1}};
  for (const auto& c : cases) {
    TempDir out;
    std::string log;
    ASSERT_EQ(RunTool("extract " + Data(c.archive) + " -C " + out.path(), &log), c.code) << c.archive << "\n" << log;
    if (c.code != 0) {
      EXPECT_NE(log.find("the archive holds no entries"), std::string::npos) << log;
    }
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

// A set that lacks a volume, or holds them out of order, fails the split
// file and names why; small.txt, whole in the first volume, comes out.
TEST(ExtractCommand, AMissingOrMisplacedVolumeIsNamed) {
  struct Case {
    std::vector<std::pair<const char*, const char*>> files;  // written as, from tests/data
    const char* named;
    std::vector<std::string> messages;
    std::vector<std::string> extracted;
    bool parts_problem;  // the parts there do not make up big.bin (rather than the last ones missing)
  } cases[] = {
      {{{"split.arj", "split.arj"}, {"split.a01", "split.a01"}},
       "split.arj",
       {"big.bin: the volume it continues into, split.a02, is missing", "is missing: split.a02"},
       {"small.txt"},
       false},
      {{{"split.arj", "split.arj"}, {"split.a02", "split.a02"}},
       "split.arj",
       {"big.bin: the volume it continues into, split.a01, is missing", "is missing: split.a01"},
       {"small.txt"},
       false},
      // The last volume where the second belongs: its main header ends the
      // set there, and its part does not start where the first part ends.
      {{{"split.arj", "split.arj"}, {"split.a01", "split.a02"}, {"split.a02", "split.a01"}},
       "split.arj",
       {"big.bin: part 2 of 2 starts at offset 22452 of the file, where the parts before it end at 11176"},
       {"small.txt"},
       true},
      // No first volume: the rest of big.bin is listed, and not taken for the file.
      {{{"split.a01", "split.a01"}, {"split.a02", "split.a02"}},
       "split.a02",
       {"big.bin: its first part is missing: it continues a file from an earlier volume"},
       {},
       true},
  };
  for (const Case& c : cases) {
    TempDir dir, out;
    for (const auto& [name, data] : c.files) WriteFile(dir.File(name), ReadFile(Data(data)));
    std::string log, listing;
    EXPECT_EQ(RunTool("extract " + dir.File(c.named) + " -C " + out.path(), &log), 1);
    for (const std::string& m : c.messages) EXPECT_NE(log.find(m), std::string::npos) << m << "\n" << log;
    EXPECT_EQ(FilesUnder(out.path()), c.extracted) << log;
    EXPECT_EQ(RunTool("list " + dir.File(c.named), &listing), 1) << listing;
    EXPECT_NE(listing.find("big.bin"), std::string::npos) << "listed, not left out\n" << listing;
    EXPECT_NE(listing.find(c.messages.back()), std::string::npos) << listing;
    std::string json;
    EXPECT_EQ(RunToolStdout("list --json " + dir.File(c.named), &json), 1);
    EXPECT_TRUE(JsonSatisfies(json, std::string("[e['name'] for e in d['entries'] if e['parts_problem']] == ") +
                                        (c.parts_problem ? "['big.bin']" : "[]")))
        << json;
  }
}

// Every part of a split file is judged by its own header as the first
// part is: its CRC, its file type, the version it asks for and its method
// (each part is packed by itself: arj stores one part and packs another).
TEST(ExtractCommand, EveryPartsHeaderIsJudgedAsTheFirstPartsIs) {
  const std::string data = [] {
    std::string d;
    for (int i = 0; i < 3000; ++i) d += static_cast<char>('a' + i % 23);
    return d;
  }();
  struct Case {
    const char* label;
    void (*change)(HeaderSpec& middle);
    bool spoil_crc;
    int list_code, test_code;
    const char* message;
  } cases[] = {
      {"a sound set", [](HeaderSpec&) {}, false, 0, 0, ""},
      {"a text part of a binary file", [](HeaderSpec& h) { h.file_type = 1; }, false, 0, 0, ""},
      {"a header that fails its CRC", [](HeaderSpec&) {}, true, 1, 1,
       "big.bin: header CRC mismatch: the header of part 2 of 3 (in set.a01) is damaged"},
      {"a volume label", [](HeaderSpec& h) { h.file_type = 4; }, false, 1, 1,
       "big.bin: part 2 of 3 has file type 4 where the first part has 0"},
      {"a folder", [](HeaderSpec& h) { h.file_type = 3; }, false, 1, 1,
       "big.bin: part 2 of 3 has file type 3 where the first part has 0"},
      {"a file type arj does not know", [](HeaderSpec& h) { h.file_type = 7; }, false, 1, 1,
       "big.bin: part 2 of 3 has file type 7 where the first part has 0"},
      {"another file's name", [](HeaderSpec& h) { h.name = "other.bin"; }, false, 1, 1,
       "big.bin: part 2 of 3 names another file in its header"},
      {"a newer format version", [](HeaderSpec& h) { h.min_version = 12; }, false, 0, 1,
       "big.bin: it needs format version 12 (part 2 of 3)"},
      {"an unknown method", [](HeaderSpec& h) { h.method = 9; }, false, 0, 1,
       "big.bin: unsupported method 9 (part 2 of 3)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    HeaderSpec first = StoredEntry("big.bin", data.substr(0, 1000), Bit(EntryFlag::kContinuesInNext));
    HeaderSpec middle = StoredEntry("big.bin", data.substr(1000, 1000), Bit(EntryFlag::kContinuesPrevious) | Bit(EntryFlag::kContinuesInNext));
    HeaderSpec last = StoredEntry("big.bin", data.substr(2000), Bit(EntryFlag::kContinuesPrevious));
    c.change(middle);
    Bytes middle_header = BuildHeader(middle);
    if (c.spoil_crc) middle_header[5] ^= 1;  // the archiver version: the stored CRC no longer matches
    WriteFile(dir.File("set.arj"), Concat({MainHeader("set.arj", Bit(MainFlag::kContinuesInNext)),
                                           BuildHeader(StoredEntry("head.txt", "head")), BuildHeader(first), EndMarker()}));
    WriteFile(dir.File("set.a01"), Concat({MainHeader("set.arj", Bit(MainFlag::kContinuesInNext)), middle_header, EndMarker()}));
    WriteFile(dir.File("set.a02"), Concat({MainHeader("set.arj"), BuildHeader(last), EndMarker()}));
    std::string listing, log;
    EXPECT_EQ(RunTool("list -v " + dir.File("set.arj"), &listing), c.list_code) << listing;
    EXPECT_EQ(listing.find("Header CRC = ok\nComment = \nParts = 3") == std::string::npos, c.spoil_crc) << listing;
    if (c.spoil_crc) {
      EXPECT_NE(listing.find("volume set.a01, header at "), std::string::npos) << listing;
      EXPECT_NE(listing.find(", header CRC mismatch\nPart 3"), std::string::npos) << listing;
    }
    for (const std::string& command : {std::string("test "), "extract -C " + dir.File("out") + " "}) {
      EXPECT_EQ(RunTool(command + dir.File("set.arj"), &log), c.test_code) << command << "\n" << log;
      EXPECT_NE(log.find(c.message), std::string::npos) << command << "\n" << log;
    }
  }
}

// Of a chapter archive, test and extract take what arj takes: by default
// the entries whose last chapter is the main header's or later, with
// --chapter N those that belong to chapter N. A chapter that takes no
// entry (the main header's raised by one, say) fails, naming it.
TEST(ExtractCommand, AChapterTakesWhatArjTakesAndOneThatTakesNothingFails) {
  auto in = [](const std::string& name, uint8_t first, uint8_t last, uint8_t file_type = 0) {
    HeaderSpec h = StoredEntry(name, file_type == 0 ? name : "");
    h.first_chapter = first, h.last_chapter = last, h.file_type = file_type;
    return h;
  };
  const std::vector<HeaderSpec> chapters = {
      in("a-first.txt", 1, 1), in("d.txt", 1, 3),  in("<<<001>>>", 1, 1, 5), in("a-second.txt", 2, 2),
      in("b.txt", 2, 2),       in("<<<002>>>", 2, 2, 5), in("c.txt", 3, 3), in("<<<003>>>", 3, 3, 5)};
  const std::vector<HeaderSpec> plain = {in("x.txt", 0, 0), in("y.txt", 0, 0)};
  const std::vector<std::string> every = {"a-first.txt", "d.txt", "a-second.txt", "b.txt", "c.txt"};
  const struct {
    const char* label;
    const std::vector<HeaderSpec>& entries;
    uint8_t chapter;  // the main header's
    const char* option;
    int code;
    std::vector<std::string> taken;
    const char* message;
  } cases[] = {
      {"the latest chapter", chapters, 3, "", 0, {"d.txt", "c.txt"}, ""},
      {"an earlier chapter in the main header", chapters, 2, "", 0, {"d.txt", "a-second.txt", "b.txt", "c.txt"}, ""},
      {"the first chapter", chapters, 1, "", 0, every, ""},
      {"no chapter in the main header", chapters, 0, "", 0, every, ""},
      {"a chapter chosen", chapters, 3, "--chapter 2", 0, {"d.txt", "a-second.txt", "b.txt"}, ""},
      {"a chapter past the last", chapters, 4, "", 1, {},
       "the main header names chapter 4, which takes no entry"},
      {"a chapter past the limit", chapters, 251, "", 1, {}, "the main header names chapter 251, past the 250"},
      {"no chapters, the main header's raised by one", plain, 1, "", 1, {},
       "the main header names chapter 1, which takes no entry"},
      {"no chapters", plain, 0, "", 0, {"x.txt", "y.txt"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir dir;
    HeaderSpec main;
    main.name = "test.arj";
    main.file_type = 2;
    main.last_chapter = c.chapter;
    std::vector<Bytes> parts = {BuildHeader(main)};
    for (const HeaderSpec& e : c.entries) parts.push_back(BuildHeader(e));
    parts.push_back(EndMarker());
    WriteFile(dir.File("test.arj"), Concat(parts));
    std::string log;
    EXPECT_EQ(RunTool("test " + dir.File("test.arj") + " " + c.option, &log), c.code) << log;
    std::vector<std::string> tested;
    for (size_t at = log.find("ok      "); at != std::string::npos; at = log.find("ok      ", at + 1))
      tested.push_back(log.substr(at + 8, log.find('\n', at) - at - 8));
    EXPECT_EQ(tested, c.taken) << log;
    EXPECT_NE(log.find(c.message), std::string::npos) << log;
    EXPECT_EQ(RunTool("extract " + dir.File("test.arj") + " -C " + dir.File("out") + " " + c.option, &log), c.code)
        << log;
    EXPECT_NE(log.find(c.message), std::string::npos) << log;
    if (*c.option == '\0') {
      EXPECT_EQ(RunTool("list " + dir.File("test.arj"), &log), c.code) << log;
    }
  }
}

// A link entry as arj -a1 stores it: file type 6 and an extended header
// tagged 'U' holding its kind and target.
HeaderSpec LinkEntry(const std::string& name, unsigned kind, const std::string& target) {
  HeaderSpec h = StoredEntry(name, "");
  h.host_os = 2;
  h.file_type = 6;
  constexpr size_t kLongLength = 31;  // a 16-bit length follows
  std::string body = std::string("U") + '\0' + static_cast<char>(kind << 5 | std::min(target.size(), kLongLength));
  if (target.size() >= kLongLength) body += std::string{static_cast<char>(target.size()), static_cast<char>(target.size() >> 8)};
  body += target;
  h.extended = {ToBytes(body)};
  return h;
}
constexpr unsigned kFifo = 0, kHardLink = 1, kSymbolicLink = 2, kCharDevice = 4;

// Archives that once tested or extracted "ok" quietly: arj's verdict is the
// expectation, except where we are deliberately louder; extract judges
// each as test does.
TEST(ExtractCommand, CraftedEntriesGetArjsVerdictInTestAndExtract) {
  REQUIRE_PEER("arj");
  const std::string text(300, 'w');
  HeaderSpec tampered = StoredEntry("whole.txt", text);
  tampered.data[0] = 'X';  // the CRC is still that of `text`
  HeaderSpec empty_with_crc = StoredEntry("empty.txt", "");
  empty_with_crc.file_crc = 0x12345678;
  HeaderSpec folder_with_data = StoredEntry("folder", text);
  folder_with_data.file_type = 3;
  HeaderSpec folder_with_crc = StoredEntry("folder", "");
  folder_with_crc.file_type = 3;
  folder_with_crc.file_crc = 5;
  HeaderSpec unknown_type = StoredEntry("new.bin", text);
  unknown_type.file_type = 7;
  HeaderSpec newer = StoredEntry("newer.bin", text);
  newer.min_version = 12;
  // Its data and CRC agree: arj still fails a link that holds any.
  HeaderSpec link_with_data = LinkEntry("link", kSymbolicLink, "whole.txt");
  link_with_data.data = ToBytes("abc");
  link_with_data.original_size = 3;
  link_with_data.file_crc = Crc32Of(ToBytes("abc"));
  HeaderSpec fifo_with_crc = LinkEntry("pipe", kFifo, "");
  fifo_with_crc.file_crc = 0x0BAD;
  struct Case {
    const char* label;
    std::vector<HeaderSpec> entries;
    int exit_code;
    const char* message;
    bool as_arj;  // false: arj passes it, we report more
  } cases[] = {
      // A part continued from an earlier volume with no first part before
      // it: arj tests it as a file of its own; it is listed, and fails.
      {"a whole entry and an orphan part", {StoredEntry("whole.txt", text), StoredEntry("orphan.txt", "tail", 0x08)},
       1, "orphan.txt: its first part is missing", false},
      {"an orphan part first", {StoredEntry("orphan.txt", "tail", 0x08), StoredEntry("whole.txt", text)}, 1,
       "orphan.txt: its first part is missing", false},
      {"a part continued both ways after a whole entry",
       {StoredEntry("whole.txt", text), StoredEntry("mid.txt", "middle", 0x0C)}, 1, "mid.txt: its first part is missing",
       false},
      {"a tampered whole entry and an orphan part", {tampered, StoredEntry("orphan.txt", "tail", 0x08)}, 1,
       "whole.txt: CRC mismatch", true},
      {"a part continuing into the next volume, then a whole entry",
       {StoredEntry("cut.bin", text, 0x04), StoredEntry("whole.txt", text)}, 1,
       "cut.bin: damaged data, or its next part does not continue it", false},
      {"an empty entry whose CRC is not that of nothing", {empty_with_crc}, 1, "empty.txt: CRC mismatch", true},
      {"a folder entry holding data", {folder_with_data}, 1, "folder: a folder entry that holds data", true},
      {"a folder entry whose CRC is not that of nothing", {folder_with_crc}, 1,
       "folder: a folder entry whose CRC 00000005 is not that of no data", true},
      {"a link holding data", {StoredEntry("whole.txt", text), link_with_data}, 1,
       "link: a link or special file entry that holds data", true},
      {"a FIFO whose CRC is not that of nothing", {fifo_with_crc}, 1,
       "pipe: a link or special file entry whose CRC 00000bad", true},
      // arj skips both with an error, and exits 0 (arj x: 2).
      {"an entry of a file type arj does not know", {unknown_type, StoredEntry("whole.txt", text)}, 1,
       "new.bin: unknown file type 7", false},
      {"an entry asking for a newer format version", {newer, StoredEntry("whole.txt", text)}, 1, "newer.bin: it needs format version 12, newer than",
       false},
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
    EXPECT_EQ(RunTool("extract " + dir.File("test.arj") + " -C " + dir.File("out"), &log), c.exit_code)
        << c.label << "\n" << log;
    EXPECT_NE(log.find(c.message), std::string::npos) << "extract: " << c.label << "\n" << log;
    RunToolStdout("list " + dir.File("test.arj"), &listing);
    for (const HeaderSpec& e : c.entries) EXPECT_NE(listing.find(e.name), std::string::npos) << c.label << "\n" << listing;
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
  EXPECT_NE(log.find("text.txt: damaged data or wrong password"), std::string::npos) << log;
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
  EXPECT_NE(log.find("one.txt: exists (use -o to overwrite, -n to keep it)"), std::string::npos) << log;
  EXPECT_EQ(ReadFile(out.File("one.txt")), ToBytes("mine"));
  EXPECT_EQ(RunTool("extract -o " + Data("method1.arj") + " one.txt -C " + out.path(), &log), 0) << log;
  EXPECT_EQ(ReadFile(out.File("one.txt")), ToBytes("x"));
  EXPECT_EQ(RunTool("extract " + Data("method1.arj") + " missing.txt -C " + out.path(), &log), 1);
  EXPECT_NE(log.find("no entry matches \"missing.txt\""), std::string::npos) << log;
}

// Wildcards choose entries for every command that takes names, -x leaves
// some out, and a pattern that takes nothing is named.
TEST(ExtractCommand, PatternsChooseEntriesForEveryCommand) {
  TempDir dir;
  for (const char* name : {"docs/a.txt", "docs/sub/b.txt", "docs/c.log", "top.txt", "bin/x.bin"})
  {
    fs::create_directories(fs::path(dir.File(name)).parent_path());
    WriteFile(dir.File(name), ToBytes(name));
  }
  std::string log;
  ASSERT_EQ(RunToolIn(dir.path(), "create all.arj docs top.txt bin", &log), 0) << log;
  const struct {
    const char* words;          // after the command and archive
    std::vector<std::string> chosen;  // files chosen, of the five
    const char* unmatched;      // a pattern named on stderr, or ""
  } cases[] = {
      {"'*.txt'", {"docs/a.txt", "docs/sub/b.txt", "top.txt"}, ""},
      {"'docs/*.txt'", {"docs/a.txt"}, ""},
      {"'docs/**.txt'", {"docs/a.txt", "docs/sub/b.txt"}, ""},
      {"docs/ -x '*.log'", {"docs/a.txt", "docs/sub/b.txt"}, ""},
      {"'?op.txt' 'nothing*'", {"top.txt"}, "nothing*"},
      {"'*' -x docs -x bin", {"top.txt"}, ""},
  };
  for (const auto& c : cases) {
    TempDir out;
    const int code = RunToolIn(dir.path(), "extract all.arj " + std::string(c.words) + " -C " + out.path(), &log);
    EXPECT_EQ(FilesUnder(out.path()), c.chosen) << c.words << "\n" << log;
    const std::string named = std::string("no entry matches \"") + c.unmatched + "\"";
    EXPECT_EQ(code, *c.unmatched ? 1 : 0) << c.words << "\n" << log;
    // An archive named again is another archive, whose entries the same
    // patterns choose.
    for (const char* command : {"list all.arj", "test all.arj", "test -j 2 all.arj ./all.arj"}) {
      const int listed = RunToolIn(dir.path(), std::string(command) + " " + c.words, &log);
      EXPECT_EQ(listed, *c.unmatched ? 1 : 0) << command << " " << c.words << "\n" << log;
      for (const std::string& f : c.chosen) EXPECT_NE(log.find(f), std::string::npos) << command << " " << c.words;
      EXPECT_EQ(log.find("x.bin") != std::string::npos,
                std::find(c.chosen.begin(), c.chosen.end(), "bin/x.bin") != c.chosen.end())
          << command << " " << c.words << "\n" << log;
      if (*c.unmatched) {
        EXPECT_NE(log.find(named), std::string::npos) << command << "\n" << log;
      }
    }
    // delete names such a pattern too, but the archive was rewritten for
    // the others: exit code 0, as arj d.
    ASSERT_EQ(RunToolIn(dir.path(), "delete all.arj " + std::string(c.words) + " -o less.arj", &log), 0)
        << c.words << "\n" << log;
    if (*c.unmatched) {
      EXPECT_NE(log.find(named), std::string::npos) << "delete\n" << log;
    }
    TempDir rest;
    ASSERT_EQ(RunTool("extract " + dir.File("less.arj") + " -C " + rest.path(), &log), 0) << log;
    for (const std::string& f : FilesUnder(rest.path()))
      EXPECT_EQ(std::find(c.chosen.begin(), c.chosen.end(), f), c.chosen.end()) << "delete " << c.words << " kept " << f;
    EXPECT_EQ(FilesUnder(rest.path()).size() + c.chosen.size(), 5u) << "delete " << c.words;
    fs::remove(dir.File("less.arj"));
  }
}

// What extract does where a file is already there: -o replaces, -n keeps
// without failing, neither fails; each run ends with its summary line.
TEST(ExtractCommand, ExistingFilesAreReplacedKeptOrFailedAndTheSummarySaysSo) {
  const struct {
    const char* options;
    int code;
    const char* one_txt;  // its content afterwards
    std::vector<std::string> said;
  } cases[] = {
      {"", 1, "mine", {"one.txt: exists (use -o to overwrite, -n to keep it)", "5 files, 26.4 KiB, 1 failed"}},
      {"-o", 0, "x", {"6 files, 26.4 KiB"}},
      {"-n", 0, "mine", {"5 files, 26.4 KiB, 1 skipped"}},
      {"-n -v", 0, "mine", {"one.txt: skipped: exists", "text.txt\n", "5 files, 26.4 KiB, 1 skipped"}},
  };
  for (const auto& c : cases) {
    TempDir out;
    WriteFile(out.File("one.txt"), ToBytes("mine"));
    std::string log;
    EXPECT_EQ(RunTool("extract " + std::string(c.options) + " " + Data("method1.arj") + " -C " + out.path(), &log),
              c.code)
        << c.options << "\n" << log;
    EXPECT_EQ(ReadFile(out.File("one.txt")), ToBytes(c.one_txt)) << c.options;
    for (const std::string& line : c.said) EXPECT_NE(log.find(line), std::string::npos) << c.options << "\n" << log;
    EXPECT_EQ(log.find('\r'), std::string::npos) << "no progress line without a terminal\n" << log;
  }
}

// -c: the bytes of the chosen files in archive order on stdout, and
// nothing else there; folders and links add nothing.
TEST(ExtractCommand, StdoutCarriesTheFilesBytesAndNothingElse) {
  TempDir dir;
  HeaderSpec folder = StoredEntry("docs", "");
  folder.file_type = 3;
  const std::string archive = dir.File("tree.arj");
  WriteFile(archive, Concat({MainHeader(), BuildHeader(folder), BuildHeader(StoredEntry("docs/a.txt", "first\n")),
                             BuildHeader(StoredEntry("b.txt", "second\n")), EndMarker()}));
  const struct {
    std::string args;
    int code;
    std::string out;
  } cases[] = {
      {"extract -c " + archive, 0, "first\nsecond\n"},
      {"extract --stdout -v " + archive + " b.txt", 0, "second\n"},
      {"x -c " + Data("method1.arj") + " one.txt", 0, "x"},
      {"extract -c " + Data("garbled.arj") + " text.txt -p secret", 0, AsString(ReadFile(Data("src/mixed/text.txt")))},
      {"extract -c " + Data("garbled.arj") + " text.txt -p nope", 1, ""},
      {"extract -c --json " + archive, 2, ""},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(RunToolStdout(c.args, &out), c.code) << c.args;
    if (c.code != 2) {
      EXPECT_EQ(out, c.out) << c.args;
    }
  }
  EXPECT_TRUE(FilesUnder(dir.path()) == std::vector<std::string>{"tree.arj"}) << "-c makes no file";
  std::string log;
  EXPECT_EQ(RunTool("extract -c --json " + archive, &log), 2);
  EXPECT_NE(log.find("--stdout and --json"), std::string::npos) << log;
}

// On a terminal, without -o or -n, each existing file is a question:
// yes, no, then all (or none) for the rest, as unzip asks.
TEST(ExtractCommand, OnATerminalExistingFilesAreAQuestion) {
  const std::string question = "exists; replace it? [y]es, [n]o, [A]ll, [N]one: ";
  const struct {
    std::vector<std::pair<std::string, std::string>> answers;
    std::vector<std::string> replaced;  // of the six entries
    const char* summary;
  } cases[] = {
      {{{"zeros.bin " + question, "y"}, {"empty.txt " + question, "n"}, {"text.txt " + question, "A"}},
       {"zeros.bin", "text.txt", "one.txt", "pattern.bin", "random.bin"},
       "5 files, 26.4 KiB, 1 skipped"},
      {{{"zeros.bin " + question, "maybe"}, {question, "N"}}, {}, "0 files, 0 bytes, 6 skipped"},
  };
  for (const auto& c : cases) {
    TempDir out;
    for (const char* name : {"zeros.bin", "empty.txt", "text.txt", "one.txt", "pattern.bin", "random.bin"})
      WriteFile(out.File(name), ToBytes("mine"));
    std::string log;
    EXPECT_EQ(RunToolOnTerminal(out.path(), "extract " + Data("method1.arj"), c.answers, &log), 0) << log;
    for (const std::string& name : c.replaced)
      EXPECT_EQ(ReadFile(out.File(name)), ReadFile(Data("src/mixed/" + name))) << name << "\n" << log;
    EXPECT_EQ(ReadFile(out.File("empty.txt")), ToBytes("mine")) << log;
    EXPECT_NE(log.find(c.summary), std::string::npos) << log;
  }
}

// A password is asked once: the one that opened an entry opens the next
// without a question, in the next archive too; a wrong one is asked
// again, three times at most, and then the command ends. Archives tested
// side by side ask nothing, and say what to give.
TEST(ExtractCommand, OnATerminalAPasswordIsAskedOnceAndThreeWrongOnesEndTheCommand) {
  const std::string garbled_archive = Data("garbled.arj");
  const struct {
    std::string archives;
    std::vector<std::pair<std::string, std::string>> answers;
    int code;
    std::vector<std::string> said;
    size_t prompts;
  } cases[] = {
      {garbled_archive, {{"Password for text.txt: ", "secret"}}, 0, {"ok      pattern.bin", "2 entries tested: 2 ok"}, 1},
      {garbled_archive,
       {{"Password for text.txt: ", "nope"}, {"Wrong password (1 of 3); again for text.txt: ", "secret"}},
       0,
       {"2 entries tested: 2 ok"},
       2},
      {garbled_archive,
       {{"Password for text.txt: ", "a"}, {"Wrong password (1 of 3)", "b"}, {"Wrong password (2 of 3)", "c"}},
       1,
       {"text.txt: damaged data or wrong password", "pattern.bin: garbled; not tried", "0 ok, 2 failed"},
       3},
      {garbled_archive + " " + garbled_archive, {{"Password for text.txt: ", "secret"}}, 0, {"2 archives tested: 2 ok, 0 failed"}, 1},
      {garbled_archive + " " + garbled_archive + " --jobs 2",
       {},
       1,
       {"text.txt: garbled, and no password was given (a terminal is not asked while archives are checked side by "
        "side: give -p, or --jobs 1)",
        "2 archives tested: 0 ok, 2 failed"},
       0},
  };
  for (const auto& c : cases) {
    TempDir dir;
    std::string log;
    EXPECT_EQ(RunToolOnTerminal(dir.path(), "test " + c.archives, c.answers, &log), c.code) << log;
    for (const std::string& s : c.said) EXPECT_NE(log.find(s), std::string::npos) << s << "\n" << log;
    size_t prompts = 0;
    for (size_t at = log.find("assword"); at != std::string::npos; at = log.find("assword", at + 1))
      if (log.compare(at + 7, 1, " ") == 0 && log.compare(at + 7, 10, " was given") != 0) ++prompts;
    EXPECT_EQ(prompts, c.prompts) << log;
  }
  // Entries after the asking ended are each reported, as not tried, and
  // counted: more of them than are under way at once.
  const Bytes garbled = ReadFile(Data("garbled.arj"));
  std::vector<Bytes> parts = {MainHeader()};
  for (const ParsedEntry& e : ParseArchive(garbled).entries)
    parts.emplace_back(garbled.begin() + e.offset, garbled.begin() + e.data_offset + e.packed.size());
  const int kPlain = 20;
  for (int i = 0; i < kPlain; ++i) parts.push_back(BuildHeader(StoredEntry("plain" + std::to_string(i), "p")));
  parts.push_back(EndMarker());
  TempDir dir;
  WriteFile(dir.File("mixed.arj"), Concat(parts));
  std::string log;
  EXPECT_EQ(RunToolOnTerminal(dir.path(), "test mixed.arj", {{"Password", "a"}, {"(1 of 3)", "b"}, {"(2 of 3)", "c"}},
                              &log),
            1);
  EXPECT_NE(log.find("stopped after 3 wrong passwords"), std::string::npos) << log;
  int reported = 0, ok = -1, failed = -1;
  for (int i = 0; i < kPlain; ++i) {
    const std::string name = "plain" + std::to_string(i) + "\r";  // whole, as the terminal ends its lines
    reported += log.find("ok      " + name) != std::string::npos;
    reported += log.find(name.substr(0, name.size() - 1) + ": not tried: the asking for passwords ended") !=
                std::string::npos;
  }
  EXPECT_EQ(reported, kPlain) << log;
  const size_t summary = log.find("22 entries tested: ");
  ASSERT_NE(summary, std::string::npos) << log;
  ASSERT_EQ(std::sscanf(log.c_str() + summary, "22 entries tested: %d ok, %d failed", &ok, &failed), 2);
  EXPECT_EQ(ok + failed, 22) << log;
}

// arj's e: every file in the folder itself, no folder made; a link's
// target is judged from there.
TEST(ExtractCommand, FlatExtractionMakesNoFolders) {
  TempDir dir, out;
  HeaderSpec folder = StoredEntry("docs", "");
  folder.file_type = 3;
  const std::string archive = dir.File("tree.arj");
  WriteFile(archive, Concat({MainHeader(), BuildHeader(folder), BuildHeader(StoredEntry("docs/deep/a.txt", "a")),
                             BuildHeader(StoredEntry("/abs/b.txt", "b")), BuildHeader(StoredEntry("c.txt", "c")),
                             EndMarker()}));
  std::string log;
  ASSERT_EQ(RunTool("e " + archive + " -C " + out.path(), &log), 0) << log;
  EXPECT_EQ(FilesUnder(out.path()), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
  EXPECT_FALSE(fs::exists(out.File("docs")));
  EXPECT_EQ(ReadFile(out.File("a.txt")), ToBytes("a"));
  // Two names that end alike meet in one place: the second is kept out.
  TempDir twice;
  WriteFile(archive, Concat({MainHeader(), BuildHeader(StoredEntry("x/same.txt", "1")),
                             BuildHeader(StoredEntry("y/same.txt", "2")), EndMarker()}));
  EXPECT_EQ(RunTool("extract --flat " + archive + " -C " + twice.path(), &log), 1);
  EXPECT_NE(log.find("y/same.txt: exists (use -o to overwrite, -n to keep it)"), std::string::npos) << log;
  EXPECT_EQ(ReadFile(twice.File("same.txt")), ToBytes("1"));
}

TEST(ExtractCommand, NamesThatWouldLeaveTheFolderAreRefusedAndAbsoluteOnesLandInside) {
  TempDir dir;
  std::string archive = dir.File("evil.arj");
  std::vector<Bytes> parts = {MainHeader()};
  for (const char* name : {"../up.txt", "/abs.txt", "\\abs2.txt", "C:\\drive.txt", "a/../../b.txt", "a\\..\\c.txt",
                           "link/through.txt", "ok/./fine.txt", "/again.txt", "//x/y.txt", "D:rel.txt", "/../esc.txt"})
    parts.push_back(BuildHeader(StoredEntry(name, "payload")));
  parts.push_back(EndMarker());
  WriteFile(archive, Concat(parts));
  std::string target = dir.File("out");
  fs::create_directories(target);
  fs::create_directories(dir.File("elsewhere"));
  fs::create_directory_symlink(dir.File("elsewhere"), target + "/link");
  std::string log;
  EXPECT_EQ(RunTool("extract " + archive + " -C " + target, &log), 1);
  for (const char* why : {"../up.txt: \"..\" in the name refused", "a/../../b.txt: \"..\" in the name refused",
                          "/../esc.txt: \"..\" in the name refused", "link/through.txt: path leads through link"})
    EXPECT_NE(log.find(why), std::string::npos) << why << "\n" << log;
  // One notice for each kind of prefix, naming it (a backslash escaped).
  for (const char* removed : {"\"/\"", "\"\\\\\"", "\"C:\\\\\"", "\"//\"", "\"D:\""}) {
    const std::string notice = std::string("removing leading ") + removed + " from entry names";
    EXPECT_NE(log.find(notice), std::string::npos) << notice << "\n" << log;
    EXPECT_EQ(log.find(notice), log.rfind(notice)) << notice << "\n" << log;
  }
  EXPECT_EQ(FilesUnder(target), (std::vector<std::string>{"abs.txt", "abs2.txt", "again.txt", "drive.txt",
                                                          "ok/fine.txt", "rel.txt", "x/y.txt"}));
  EXPECT_TRUE(FilesUnder(dir.File("elsewhere")).empty()) << "nothing was written through the link";
  EXPECT_FALSE(fs::exists(dir.File("up.txt")));
  EXPECT_FALSE(fs::exists(dir.File("esc.txt")));
}

TEST(ExtractCommand, LinksAreMadeInsideTheFolderAndNeverWrittenThrough) {
  TempDir dir;
  const std::string outside = dir.File("outside");
  fs::create_directories(outside);
  WriteFile(outside + "/victim", ToBytes("untouched"));
  HeaderSpec unreadable = LinkEntry("bad", kSymbolicLink, "x");
  unreadable.extended = {ToBytes("U")};
  const std::vector<HeaderSpec> entries = {
      StoredEntry("sub/in.txt", "inside"),
      LinkEntry("a", kSymbolicLink, outside),  // refused, so a/victim makes a folder
      StoredEntry("a/victim", "payload"),
      LinkEntry("in", kSymbolicLink, "sub"),
      StoredEntry("in/x.txt", "through an earlier link"),
      LinkEntry("sub/up", kSymbolicLink, "../top.txt"),
      LinkEntry("sub/out", kSymbolicLink, "../../victim"),
      LinkEntry("m", kSymbolicLink, "sub/../.."),
      StoredEntry("top.txt", "top"),
      LinkEntry("hard", kHardLink, "top.txt"),
      LinkEntry("hard_missing", kHardLink, "nothere.txt"),
      LinkEntry("hard_through", kHardLink, "in/in.txt"),
      LinkEntry("hard_up", kHardLink, "../outside/victim"),
      LinkEntry("hard_self", kHardLink, "hard_self"),
      LinkEntry("pipe", kFifo, ""),
      unreadable,
      StoredEntry("replaced", "a file, not written through the link that was there"),
  };
  std::vector<Bytes> parts = {MainHeader()};
  for (const HeaderSpec& e : entries) parts.push_back(BuildHeader(e));
  parts.push_back(EndMarker());
  WriteFile(dir.File("links.arj"), Concat(parts));
  const std::string out = dir.File("out");
  fs::create_directories(out);
  fs::create_symlink(outside + "/victim", out + "/replaced");
  // A second run over the first (-o) replaces each link by its new self.
  for (int run = 0; run < 2; ++run) {
    std::string log;
    EXPECT_EQ(RunTool("extract -o " + dir.File("links.arj") + " -C " + out, &log), 1);
    for (const std::string& why :
         {"a: symbolic link to " + outside + " refused: it is absolute", std::string("in/x.txt: path leads through in"),
          std::string("sub/out: symbolic link to ../../victim refused: it leads out of the extraction folder"),
          std::string("m: symbolic link to sub/../.. refused: \"..\" follows a name in it"),
          std::string("hard_missing: its hard link target is not in the extraction folder"),
          std::string("hard_through: its hard link target is not in the extraction folder: path leads through in"),
          std::string("hard_up: hard link target refused: \"..\" in the name refused"),
          std::string("hard_self: a hard link to itself"), std::string("pipe: a FIFO; devices and FIFOs are not made"),
          std::string("bad: a UNIX link or special file whose kind could not be read")})
      EXPECT_NE(log.find(why), std::string::npos) << why << "\n" << log;
    EXPECT_EQ(ReadFile(outside + "/victim"), ToBytes("untouched"));
    EXPECT_EQ(fs::read_symlink(out + "/in"), "sub");
    EXPECT_EQ(fs::read_symlink(out + "/sub/up"), "../top.txt");
    EXPECT_EQ(ReadFile(out + "/sub/up"), ToBytes("top"));
    EXPECT_TRUE(fs::equivalent(out + "/hard", out + "/top.txt"));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(out + "/replaced")));
    EXPECT_EQ(FilesUnder(out), (std::vector<std::string>{"a/victim", "hard", "replaced", "sub/in.txt", "top.txt"}))
        << "nothing else, no temporary file left";
    for (const char* absent : {"sub/out", "m", "pipe", "bad", "hard_self", "sub/x.txt"})
      EXPECT_FALSE(fs::exists(fs::symlink_status(out + "/" + absent))) << absent;
  }
}

TEST(ExtractCommand, DevicesAndFifosAreSkippedWithANotice) {
  TempDir dir;
  WriteFile(dir.File("special.arj"), Concat({MainHeader(), BuildHeader(LinkEntry("pipe", kFifo, "")),
                                             BuildHeader(LinkEntry("tty", kCharDevice, std::string(8, '\0'))),
                                             BuildHeader(StoredEntry("plain.txt", "plain")), EndMarker()}));
  std::string log, json;
  EXPECT_EQ(RunTool("extract " + dir.File("special.arj") + " -C " + dir.File("out"), &log), 0) << log;
  EXPECT_NE(log.find("tty: a character device; devices and FIFOs are not made"), std::string::npos) << log;
  EXPECT_EQ(FilesUnder(dir.File("out")), (std::vector<std::string>{"plain.txt"}));
  EXPECT_EQ(RunToolStdout("extract --json -o " + dir.File("special.arj") + " -C " + dir.File("out"), &json), 0);
  EXPECT_TRUE(JsonSatisfies(json, "d['summary']['skipped'] == 2 and d['summary']['ok'] == 1 and "
                                  "d['entries'][0]['result'] == 'skipped: a FIFO; devices and FIFOs are not made'"))
      << json;
}

// The header of `entry` with a UNIX mode.
Bytes WithUnixMode(HeaderSpec entry, uint16_t mode) {
  entry.host_os = 2;
  entry.access_mode = mode;
  return BuildHeader(entry);
}

// A folder entry stored on 2001-01-10.
HeaderSpec FolderEntry(const std::string& name) {
  HeaderSpec folder = StoredEntry(name, "");
  folder.file_type = 3;
  folder.dos_time = 0x2A2A6000;
  return folder;
}

TEST(ExtractCommand, FolderTimesAndModesComeLastAndModesLoseSetIdBitsAndTheUmask) {
  const mode_t old_mask = umask(022);
  TempDir dir;
  HeaderSpec folder = FolderEntry("ro");
  HeaderSpec inner = folder;
  inner.name = "ro/inner";
  inner.dos_time = 0x2C2A6000;
  // The folder comes before what is in it, read-only.
  WriteFile(dir.File("modes.arj"),
            Concat({MainHeader(), WithUnixMode(folder, 0x2000 | 0555), WithUnixMode(inner, 0x2000 | 0700),
                    WithUnixMode(StoredEntry("ro/wide.txt", "w"), 0x1000 | 0777),
                    WithUnixMode(StoredEntry("ro/setuid", "s"), 0x1000 | 06755),
                    WithUnixMode(StoredEntry("ro/private.txt", "p"), 0x1000 | 0600), EndMarker()}));
  const struct {
    const char* option;
    mode_t ro, wide, setuid, priv;
  } cases[] = {{"", 0555, 0755, 0755, 0600}, {"--preserve-permissions", 0555, 0777, 06755, 0600}};
  for (const auto& c : cases) {
    TempDir out;
    std::string log;
    EXPECT_EQ(RunTool("extract " + dir.File("modes.arj") + " -C " + out.path() + " " + c.option, &log), 0) << log;
    struct stat ro, inner_st, wide, setuid, priv;
    ASSERT_EQ(stat(out.File("ro").c_str(), &ro), 0);
    ASSERT_EQ(stat(out.File("ro/inner").c_str(), &inner_st), 0);
    ASSERT_EQ(stat(out.File("ro/wide.txt").c_str(), &wide), 0);
    ASSERT_EQ(stat(out.File("ro/setuid").c_str(), &setuid), 0);
    ASSERT_EQ(stat(out.File("ro/private.txt").c_str(), &priv), 0);
    EXPECT_EQ(ro.st_mode & 07777, c.ro) << c.option;
    EXPECT_EQ(inner_st.st_mode & 07777, 0700u) << c.option;
    EXPECT_EQ(wide.st_mode & 07777, c.wide) << c.option;
    EXPECT_EQ(setuid.st_mode & 07777, c.setuid) << c.option;
    EXPECT_EQ(priv.st_mode & 07777, c.priv) << c.option;
    std::string listing;
    RunToolStdout("list --json " + dir.File("modes.arj"), &listing);
    char when[32];
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", std::localtime(&ro.st_mtime));
    EXPECT_TRUE(JsonSatisfies(listing, std::string("d['entries'][0]['modified'] == '") + when + "'")) << when;
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", std::localtime(&inner_st.st_mtime));
    EXPECT_TRUE(JsonSatisfies(listing, std::string("d['entries'][1]['modified'] == '") + when + "'")) << when;
    fs::permissions(out.File("ro"), fs::perms::owner_all, fs::perm_options::add);  // so that it can be removed
  }
  umask(old_mask);
}

// What was in the folder before is not the archive's: an existing folder
// keeps its mode and time (unless -o), as arj -n leaves it, and a hard link
// goes only to a file this extraction wrote.
TEST(ExtractCommand, WhatWasThereBeforeIsNotTakenOverByFolderOrLinkEntries) {
  const mode_t old_mask = umask(022);
  TempDir dir;
  // "late" comes after a file in it: made by this run all the same.
  const HeaderSpec ssh = FolderEntry(".ssh"), fresh = FolderEntry("fresh"), late = FolderEntry("late");
  WriteFile(dir.File("tree.arj"),
            Concat({MainHeader(), WithUnixMode(ssh, 0x2000 | 01755), WithUnixMode(fresh, 0x2000 | 0750),
                    BuildHeader(StoredEntry("late/f.txt", "f")), WithUnixMode(late, 0x2000 | 0700),
                    BuildHeader(StoredEntry("h.txt", "archived")), BuildHeader(LinkEntry("t.txt", kHardLink, "h.txt")),
                    EndMarker()}));
  const struct {
    const char* options;
    int code;
    mode_t ssh_mode;  // afterwards
    bool ssh_time_kept;
    const char* t_txt;  // its content afterwards, or nullptr: not made
    const char* said;
  } cases[] = {
      // Without -o the old h.txt stays, and t.txt is not made a name of it.
      {"", 1, 0700, true, nullptr, "t.txt: its hard link target was not written by this extraction"},
      {"-n", 1, 0700, true, nullptr, "t.txt: its hard link target was not written by this extraction"},
      {"-n -v", 1, 0700, true, nullptr, ".ssh: skipped: a folder of that name exists"},
      {"-o", 0, 01755, false, "archived", ""},
      {"t.txt", 1, 0700, true, nullptr, "t.txt: its hard link target was not written by this extraction"},
  };
  for (const auto& c : cases) {
    TempDir out;
    fs::create_directory(out.File(".ssh"));
    chmod(out.File(".ssh").c_str(), 0700);
    const timespec then[2] = {{1262304000, 0}, {1262304000, 0}};  // 2010-01-01
    utimensat(AT_FDCWD, out.File(".ssh").c_str(), then, 0);
    WriteFile(out.File("h.txt"), ToBytes("mine"));
    std::string log;
    EXPECT_EQ(RunTool("extract " + dir.File("tree.arj") + " -C " + out.path() + " " + c.options, &log), c.code)
        << c.options << "\n" << log;
    EXPECT_NE(log.find(c.said), std::string::npos) << c.options << "\n" << log;
    struct stat st;
    ASSERT_EQ(stat(out.File(".ssh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.ssh_mode) << c.options;
    EXPECT_EQ(st.st_mtime == then[0].tv_sec, c.ssh_time_kept) << c.options;
    if (std::string(c.options) != "t.txt") {
      for (const auto& [name, mode] : {std::pair{"fresh", 0750}, std::pair{"late", 0700}}) {
        ASSERT_EQ(stat(out.File(name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_mode & 07777, static_cast<mode_t>(mode)) << c.options << " " << name;
      }
    }
    ASSERT_EQ(stat(out.File("h.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_nlink, c.t_txt == nullptr ? 1u : 2u) << c.options;
    if (c.t_txt == nullptr) {
      EXPECT_FALSE(fs::exists(out.File("t.txt"))) << c.options;
      EXPECT_EQ(ReadFile(out.File("h.txt")), ToBytes("mine")) << c.options;
    } else {
      EXPECT_EQ(ReadFile(out.File("t.txt")), ToBytes(c.t_txt)) << c.options;
    }
  }
  umask(old_mask);
}

// Names as extracted: an entry made on UNIX keeps its stored bytes (as arj
// and tar write them), escaped only for display; a DOS entry's are decoded
// from its code page; a backslash separates folders; and a pattern matches
// the name as it is extracted.
TEST(ExtractCommand, NamesAreExtractedAsStoredOnUnixAndDecodedFromDosAndPatternsMatchThem) {
  HeaderSpec unix_name = StoredEntry("caf\xe9.txt", "u");
  unix_name.host_os = 2;
  unix_name.access_mode = 0x8000 | 0644;
  HeaderSpec unix_link = LinkEntry("to-caf\xe9", kSymbolicLink, "caf\xe9.txt");
  const struct {
    HeaderSpec entry;
    const char* extracted;  // its path under the folder
    const char* listed;     // as list shows it
    const char* pattern;    // takes it alone
  } cases[] = {
      {unix_name, "caf\xe9.txt", "caf\\xe9.txt", "caf\xe9*"},
      {unix_link, "to-caf\xe9", "to-caf\\xe9", "to-*"},
      {StoredEntry("na\x8fve.txt", "d"), "na\xc3\x85ve.txt", "na\xc3\x85ve.txt", "na\xc3\x85ve.txt"},
      {StoredEntry("dir\\sub\\f.txt", "s"), "dir/sub/f.txt", "dir\\\\sub\\\\f.txt", "dir"},
      {StoredEntry("/abs/g.txt", "a"), "abs/g.txt", "/abs/g.txt", "abs/*.txt"},
  };
  TempDir dir;
  std::vector<Bytes> parts = {MainHeader()};
  for (const auto& c : cases) parts.push_back(BuildHeader(c.entry));
  parts.push_back(EndMarker());
  WriteFile(dir.File("names.arj"), Concat(parts));
  std::string log;
  EXPECT_EQ(RunTool("list " + dir.File("names.arj"), &log), 0) << log;
  for (const auto& c : cases) EXPECT_NE(log.find(c.listed), std::string::npos) << c.listed << "\n" << log;
  TempDir all;
  EXPECT_EQ(RunTool("extract " + dir.File("names.arj") + " -C " + all.path(), &log), 0) << log;
  for (const auto& c : cases)
    EXPECT_TRUE(fs::exists(fs::symlink_status(all.File(c.extracted)))) << c.extracted << "\n" << log;
  EXPECT_EQ(fs::read_symlink(all.File("to-caf\xe9")), "caf\xe9.txt") << "the target's bytes too";
  for (const auto& c : cases) {
    TempDir out;
    EXPECT_EQ(RunTool("extract " + dir.File("names.arj") + " " + Quote(c.pattern) + " -C " + out.path(), &log), 0)
        << c.pattern << "\n" << log;
    for (const auto& other : cases)
      EXPECT_EQ(fs::exists(fs::symlink_status(out.File(other.extracted))), &other == &c)
          << c.pattern << " took " << other.extracted;
  }
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

// A write that fails names its cause, whichever way the bytes went: a
// file over the size limit (EFBIG, the signal ignored) as a full disk
// would, and standard output on /dev/full. Nothing half-written stays.
TEST(ExtractCommand, WriteErrorsNameTheirCause) {
  const std::string too_large = "cannot write the extracted data: File too large";
  const struct {
    std::string args;
    std::string redirect;
    std::vector<std::string> said;
  } cases[] = {
      {"x " + Data("method1.arj"), "", {"text.txt: " + too_large, "random.bin: " + too_large}},
      // Garbled, and past the memory bound: written through the file itself.
      {"x " + Data("garbled.arj") + " -psecret --max-extract-memory 1K", "", {"pattern.bin: " + too_large}},
      {"x -c " + Data("method1.arj") + " text.txt", ">/dev/full",
       {"text.txt: cannot write to standard output: No space left on device"}},
  };
  for (const auto& c : cases) {
    TempDir out;
    std::string log;
    // bash counts the limit in KiB: 2 KiB lets one.txt and empty.txt through.
    const std::string command = "bash -c " + Quote("ulimit -f 2; exec " + Tool() + " " + c.args + " -C " +
                                                   out.path() + " </dev/null 2>&1 " + c.redirect);
    EXPECT_EQ(RunCommand(command, &log), 1) << c.args << "\n" << log;
    for (const std::string& s : c.said) EXPECT_NE(log.find(s), std::string::npos) << s << "\n" << log;
    for (const std::string& f : FilesUnder(out.path())) EXPECT_TRUE(f == "one.txt" || f == "empty.txt") << f;
  }
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

// method1.arj with bytes spoiled inside the packed data of text.txt (the
// third entry): its decoding stops at them.
Bytes SpoiledMethod1() {
  Bytes archive = ReadFile(Data("method1.arj"));
  size_t at = 0;
  for (size_t i = 0; i + 8 < archive.size(); ++i)
    if (std::string(archive.begin() + i, archive.begin() + i + 8) == "text.txt") at = i;
  EXPECT_NE(at, 0u);
  for (size_t i = at + 200; i < at + 220; ++i) archive[i] ^= 0x5A;
  return archive;
}

TEST(ExtractCommand, CorruptPackedDataIsACrcOrDataErrorPerEntry) {
  TempDir dir;
  WriteFile(dir.File("bad.arj"), SpoiledMethod1());
  // Entries large enough to be shared among threads, one of them damaged.
  std::vector<Bytes> large = {MainHeader()};
  for (int i = 0; i < 12; ++i) {
    HeaderSpec e = StoredEntry("large" + std::to_string(i) + ".bin", std::string(40000, static_cast<char>('a' + i)));
    if (i == 7) e.data[30000] ^= 1;
    large.push_back(BuildHeader(e));
  }
  large.push_back(EndMarker());
  WriteFile(dir.File("large.arj"), Concat(large));
  std::string log;
  EXPECT_EQ(RunTool("test " + dir.File("bad.arj"), &log), 1);
  EXPECT_NE(log.find("text.txt: "), std::string::npos) << log;
  EXPECT_NE(log.find("5 ok, 1 failed"), std::string::npos) << log;
  // Tested and extracted (on several threads, where the entries are large
  // enough), the entries are reported in the archive's order, the damaged
  // one in its place.
  for (const auto& [name, damaged] : {std::pair{"bad.arj", "text.txt"}, std::pair{"large.arj", "large7.bin"}}) {
    std::string listing;
    ASSERT_EQ(RunToolStdout("list --json " + dir.File(name), &listing), 0);
    std::string names = "[";
    for (size_t at = listing.find("\"name\": \""); at != std::string::npos; at = listing.find("\"name\": \"", at + 1)) {
      const size_t start = at + 9;
      names += "'" + listing.substr(start, listing.find('"', start) - start) + "', ";
    }
    names += "]";
    TempDir out;
    for (const std::string& command : {std::string("test --json "), "extract --json -C " + out.path() + " "}) {
      std::string json;
      EXPECT_EQ(RunToolStdout(command + dir.File(name), &json), 1);
      EXPECT_TRUE(JsonSatisfies(json, "[e['name'] for e in d['entries']] == " + names)) << command << json;
      EXPECT_TRUE(JsonSatisfies(json, std::string("[e['name'] for e in d['entries'] if e['result'] != 'ok'] == ['") +
                                          damaged + "']"))
          << command << json;
    }
  }
}

// --keep-damaged: what came out of a damaged entry is written under its
// name for someone rescuing data, and the entry still fails; a wrong
// password gives nothing worth keeping, and an existing file is replaced
// only with -o.
TEST(ExtractCommand, KeepDamagedWritesWhatCameOutAndTheEntryStillFails) {
  TempDir dir;
  const std::string text(3000, 't');
  HeaderSpec tampered = StoredEntry("crc.txt", text);
  tampered.data[10] = 'X';  // the CRC is still that of `text`
  WriteFile(dir.File("crc.arj"), Concat({MainHeader(), BuildHeader(tampered), EndMarker()}));
  WriteFile(dir.File("stops.arj"), SpoiledMethod1());
  constexpr size_t kSome = SIZE_MAX;
  Bytes crc_bytes = ToBytes(text);
  crc_bytes[10] = 'X';
  const struct {
    std::string args;
    const char* file;
    const char* before;  // its content before, or nullptr: not there
    const char* said;
    size_t kept;  // bytes of it afterwards; 0: no file; kSome: fewer than the entry's
  } cases[] = {
      {dir.File("crc.arj") + " --keep-damaged", "crc.txt", nullptr, "kept with its damaged bytes (--keep-damaged)", 3000},
      {dir.File("crc.arj"), "crc.txt", nullptr, "crc.txt: CRC mismatch", 0},
      {dir.File("crc.arj") + " --keep-damaged", "crc.txt", "mine", "crc.txt: exists", 4},
      {dir.File("crc.arj") + " --keep-damaged -o", "crc.txt", "mine", "kept with its damaged bytes", 3000},
      // Decoding stops at the damage: what came before it is kept.
      {dir.File("stops.arj") + " --keep-damaged", "text.txt", nullptr, " of 10894 bytes that came out before the damage",
       kSome},
      {Data("garbled.arj") + " -p nope --keep-damaged", "text.txt", nullptr, "text.txt: damaged data or wrong password", 0},
  };
  for (const auto& c : cases) {
    TempDir out;
    if (c.before != nullptr) WriteFile(out.File(c.file), ToBytes(c.before));
    std::string log, json;
    EXPECT_EQ(RunTool("extract " + c.args + " -C " + out.path(), &log), 1) << c.args << "\n" << log;
    EXPECT_NE(log.find(c.said), std::string::npos) << c.args << "\n" << log;
    const size_t size = ReadFile(out.File(c.file)).size();
    if (c.kept == kSome) EXPECT_TRUE(size > 0 && size < 10894) << size;
    else EXPECT_EQ(size, c.kept) << c.args << "\n" << log;
    for (const std::string& f : FilesUnder(out.path())) EXPECT_EQ(f.find(".part"), std::string::npos) << f;
  }
  TempDir out;
  std::string json;
  EXPECT_EQ(RunToolStdout("extract --json --keep-damaged " + dir.File("crc.arj") + " -C " + out.path(), &json), 1);
  EXPECT_EQ(ReadFile(out.File("crc.txt")), crc_bytes) << "the bytes as they came out";
  EXPECT_TRUE(JsonSatisfies(json, "d['summary']['failed'] == 1 and d['entries'][0]['size'] == 3000 and "
                                  "'--keep-damaged' in d['entries'][0]['result']"))
      << json;
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
    ASSERT_EQ(RunCommand("touch -d " + Quote(when) + " " + Quote(src + "/" + name)), 0);
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
