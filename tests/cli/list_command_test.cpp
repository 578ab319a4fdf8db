// The tool's list command as a user runs it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "plugin/format/arj_layout.h"
#include "tests/support/archive_builder.h"
#include "tests/support/bytes.h"
#include "tests/support/commands.h"
#include "tests/support/files.h"
#include "tests/support/sanitizers.h"
#include "tests/support/tool_runner.h"

namespace {

using namespace testing_support;

TEST(ListCommand, ListsEntriesTotalsAndDigest) {
  std::string out;
  ASSERT_EQ(RunTool("list " + Data("method1.arj"), &out), 0) << out;
  for (const char* text : {"text.txt", "pattern.bin", "33d80562", "6 files, 26991 bytes", "(6 entries)", "Digest: "})
    EXPECT_NE(out.find(text), std::string::npos) << text << "\n" << out;
  EXPECT_NE(out.find(" text.txt\n"), std::string::npos) << "the name ends its row\n" << out;
}

// The rows of a table listing, after its heading up to the totals.
std::vector<std::string> TableRows(const std::string& listing) {
  std::vector<std::string> rows;
  size_t at = listing.find("Name\n");
  if (at == std::string::npos) return rows;
  for (at += 5; at < listing.size();) {
    const size_t end = listing.find('\n', at);
    const std::string row = listing.substr(at, end - at);
    if (row.find(" bytes, ") != std::string::npos) break;  // the totals
    rows.push_back(row);
    at = end + 1;
  }
  return rows;
}

// Where "Name" starts in the table's heading.
size_t NameColumn(const std::string& listing) {
  const size_t at = listing.find("Name\n");
  return at - (listing.rfind('\n', at) + 1);
}

std::string CrcHex(uint32_t crc) {
  char text[12];
  std::snprintf(text, sizeof text, "%08x", crc);
  return text;
}

// Folders are marked and counted as 7zz counts them, names of any length
// come whole at the end of their rows, and whatever stands before them
// lines up.
TEST(ListCommand, FoldersAreMarkedAndCountedAndNamesComeLastWhole) {
  TempDir dir;
  const std::string long_name = "docs/" + std::string(60, 'n') + ".txt";
  HeaderSpec folder = StoredEntry("docs", "");
  folder.file_type = 3;
  HeaderSpec nested = StoredEntry("docs/\xe6\x95\xb0\xe6\x8d\xae", "");
  nested.file_type = 3;
  const std::string path = dir.File("folders.arj");
  WriteFile(path, Concat({MainHeader(), BuildHeader(folder), BuildHeader(nested),
                          BuildHeader(StoredEntry("docs/\xe6\x95\xb0\xe6\x8d\xae/caf\x65\xcc\x81.txt", "abc")),
                          BuildHeader(StoredEntry(long_name, std::string(123456, 'x'))),
                          BuildHeader(StoredEntry("a.txt", "a")), EndMarker()}));
  std::string out;
  ASSERT_EQ(RunToolStdout("list " + path, &out), 0) << out;
  EXPECT_NE(out.find("3 files, 2 folders, 123460 bytes"), std::string::npos) << out;
  const std::vector<std::string> rows = TableRows(out);
  ASSERT_EQ(rows.size(), 5u) << out;
  const size_t name_at = NameColumn(out);
  const char* names[] = {"docs", "docs/\xe6\x95\xb0\xe6\x8d\xae", "docs/\xe6\x95\xb0\xe6\x8d\xae/caf\x65\xcc\x81.txt",
                         long_name.c_str(), "a.txt"};
  const char* attributes[] = {"D...A", "D...A", "....A", "....A", "....A"};  // the builder stores A
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i]);
    EXPECT_EQ(rows[i].substr(name_at), names[i]) << "the name starts under its heading";
    EXPECT_EQ(rows[i].substr(20, 5), attributes[i]);
  }
  ASSERT_EQ(RunToolStdout("list --json " + path, &out), 0);
  EXPECT_TRUE(JsonSatisfies(out, "[e['folder'] for e in d['entries']] == [True, True, False, False, False] and "
                                 "d['entries'][1]['header_offset'] > d['entries'][0]['header_offset']"))
      << out;
}

// A set whose volumes are named in wide characters: the names after the
// volume column start in one terminal column, the heading's included.
TEST(ListCommand, ColumnsArePaddedByDisplayWidthNotBytes) {
  TempDir dir;
  const std::string stem = "\xe6\x95\xb0\xe6\x8d\xae";  // two characters two columns wide each
  const char* suffixes[] = {".arj", ".a01"};
  for (int v = 0; v < 2; ++v) {
    const std::string name = stem + suffixes[v];
    WriteFile(dir.File(name), Concat({MainHeader(name, v == 0 ? Bit(MainFlag::kContinuesInNext) : 0),
                                      BuildHeader(StoredEntry("f" + std::to_string(v), "x")), EndMarker()}));
  }
  std::string out;
  ASSERT_EQ(RunToolStdout("list " + dir.File(stem + ".arj"), &out), 0) << out;
  const std::vector<std::string> rows = TableRows(out);
  ASSERT_EQ(rows.size(), 2u) << out;
  const size_t name_column = NameColumn(out);
  for (const std::string& row : rows) {
    const size_t wide = 2;  // the wide characters in the row: 3 bytes, 2 columns each
    EXPECT_EQ(row.size() - wide - 2, name_column) << "the name (2 bytes) starts under \"Name\"\n" << out;
  }
}

// list -v: every stored field, one "Field = value" line each; nothing an
// archive holds can pass for a field of its own.
TEST(ListCommand, TechnicalListingShowsEveryField) {
  TempDir dir;
  HeaderSpec unix_file = StoredEntry("bin/tool", "#!/bin/sh\n");
  unix_file.host_os = 2;
  unix_file.comment = "first\nPath = forged";
  HeaderSpec folder = StoredEntry("bin", "");
  folder.file_type = 3;
  const Bytes main = MainHeader();
  const Bytes folder_header = BuildHeader(folder);
  const std::string path = dir.File("fields.arj");
  WriteFile(path, Concat({main, folder_header, BuildHeader(unix_file), EndMarker()}));
  std::string out;
  ASSERT_EQ(RunToolStdout("list -v " + path, &out), 0) << out;
  const std::string second = out.substr(out.find("Path = bin/tool"));
  for (const std::string& line : std::vector<std::string>{"Path = bin\nFolder = +\n", "Header Offset = " + std::to_string(main.size()) + "\n",
        "Attributes = 0x0020 D...A\n", "Host OS = MS-DOS (0)\n", "File Type = directory (3)\n"})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
  for (const std::string& line : std::vector<std::string>{"Folder = -\n", "Size = 10\n", "CRC = " + CrcHex(Crc32Of("#!/bin/sh\n")) + "\n", "Host OS = UNIX (2)\n",
        "Mode = 0040 ----r----- (0x0020)\n", "Comment = first\\nPath = forged\n", "Chapters = 000-000\n",
        "Flags = 0x00\n", "Header Offset = " + std::to_string(main.size() + folder_header.size()) + "\n",
        "Header CRC = ok\n", "Parts = 1\nPart 1 = size 10, CRC "})
    EXPECT_NE(second.find(line), std::string::npos) << line << "\n" << second;
  EXPECT_EQ(out.find("\nPath = forged"), std::string::npos) << out;
  ASSERT_EQ(RunToolStdout("list --technical " + Data("split.arj"), &out), 0);
  EXPECT_NE(out.find("Parts = 3\nPart 1 = size 11176, CRC a4294049, volume "), std::string::npos) << out;
  EXPECT_NE(out.find("Flags = 0x14 (continues in the next volume, path separators"), std::string::npos) << out;
}

TEST(ListCommand, SeveralArchivesAreEachListed) {
  std::string out;
  EXPECT_EQ(RunTool("list " + Data("method1.arj") + " " + Data("comment.arj"), &out), 0) << out;
  EXPECT_NE(out.find("Archive: " + Data("method1.arj")), std::string::npos) << out;
  EXPECT_NE(out.find("Archive: " + Data("comment.arj")), std::string::npos) << out;
  EXPECT_EQ(RunTool("list " + Data("method1.arj") + " /nonexistent.arj " + Data("truncated.arj"), &out), 2) << out;
  EXPECT_NE(out.find("Archive: " + Data("truncated.arj")), std::string::npos) << "listing goes on after a failure";
  ASSERT_EQ(RunToolStdout("list --json " + Data("method1.arj") + " /nonexistent.arj", &out), 2);
  EXPECT_TRUE(JsonSatisfies(out, "len(d) == 2 and len(d[0]['entries']) == 6 and "
                                 "d[1] == {'archive': '/nonexistent.arj', 'error': "
                                 "'/nonexistent.arj: cannot be opened: not found'}"))
      << out;
  // A later operand is an archive only when it holds one (or is named
  // *.arj): another file is a pattern, as a volume of a set is an archive.
  EXPECT_EQ(RunTool("list " + Data("method1.arj") + " " + Data("gen_sources.py") + " " + Data("split.a01"), &out), 1);
  EXPECT_NE(out.find("no entry matches \"" + Data("gen_sources.py") + "\""), std::string::npos) << out;
  EXPECT_NE(out.find("Archive: " + Data("split.a01")), std::string::npos) << out;
  ASSERT_EQ(RunToolStdout("list --json " + Data("split.a01"), &out), 0);
  EXPECT_TRUE(JsonSatisfies(out, "isinstance(d, dict) and [p['volume'] for p in d['entries'][1]['parts']] == "
                                 "['split.arj', 'split.a01', 'split.a02']"))
      << "one archive: its object, as ever\n" << out;
}

// Several archives checked side by side (--jobs) give what one at a time
// gives, byte for byte and in the order named, the messages among the
// lines where they belong, in every form, and the worst exit code. The
// first archive is the largest, so that later ones are done before it
// (under the sanitizers a third as large is still the slowest by far).
TEST(ListCommand, ArchivesSideBySideComeOutAsOneAtATime) {
  TempDir dir;
  std::vector<Bytes> large = {MainHeader()};
  for (int i = 0; i < (kUnderSanitizers ? 1000 : 3000); ++i)
    large.push_back(BuildHeader(StoredEntry("dir" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".txt",
                                            std::string(static_cast<size_t>(i % 61), 'a' + i % 26))));
  large.push_back(EndMarker());
  WriteFile(dir.File("large.arj"), Concat(large));
  WriteFile(dir.File("text.arj"), ToBytes("not an archive"));
  std::string archives = dir.File("large.arj");
  for (const char* name : {"method1.arj", "truncated.arj", "split.a01", "garbled.arj", "entries20.arj", "method4.arj"})
    archives += " " + Data(name);
  archives += " /nonexistent.arj " + dir.File("text.arj") + " " + Data("comment.arj");
  const struct {
    const char* command;
    const char* words;  // before the archives
    const char* after;  // after them: patterns
  } cases[] = {
      {"list", "", ""},
      {"list", "-v", ""},
      {"list", "--json", ""},
      {"list", "--json-lines", "'*.txt'"},
      {"test", "", ""},
      {"test", "--json", "'*.txt' 'nothing*'"},
      {"test", "--json-lines", ""},
  };
  for (const auto& c : cases) {
    const std::string words = std::string(c.command) + " " + c.words + " " + archives + " " + c.after;
    SCOPED_TRACE(words);
    std::string one, side_by_side;
    EXPECT_EQ(RunTool(words + " --jobs 1", &one), 2) << one;
    EXPECT_NE(one.find("/nonexistent.arj: cannot be opened: not found"), std::string::npos) << one;
    // Every spelling of the option once; the forms after the first with one.
    const std::vector<const char*> spellings = {"--jobs 2", "-j 3", "--jobs=0"};
    for (const char* jobs : &c == cases ? spellings : std::vector<const char*>{"--jobs 2"}) {
      EXPECT_EQ(RunTool(words + " " + jobs, &side_by_side), 2) << jobs;
      const size_t differ =
          std::mismatch(one.begin(), one.end(), side_by_side.begin(), side_by_side.end()).first - one.begin();
      EXPECT_TRUE(side_by_side == one) << jobs << ": they differ at byte " << differ << " of " << one.size() << ": \""
                                       << one.substr(differ, 200) << "\" against \""
                                       << side_by_side.substr(differ, 200) << "\"";
    }
  }
}

// "-" reads the archive from a pipe, once: list, test and extract give what
// they give for its file; a rewrite is refused, and so is a terminal.
TEST(ListCommand, AnArchiveFromStandardInputReadsAsItsFile) {
  for (const std::string name : {"method1.arj", "comment.arj", "entries20.arj"}) {
    SCOPED_TRACE(name);
    const std::string pipe = "cat " + Quote(Data(name)) + " | " + Quote(Tool()) + " ";
    std::string from_file, from_pipe;
    ASSERT_EQ(RunToolStdout("list --json " + Data(name), &from_file), 0);
    ASSERT_EQ(RunCommand(pipe + "list --json - 2>/dev/null", &from_pipe), 0);
    // The same document, but for the archive's name and its volume's.
    for (const std::string& said : {Data(name), "\"" + name + "\""}) {
      const std::string as_pipe = said[0] == '"' ? "\"-\"" : "-";
      for (size_t at; (at = from_file.find(said)) != std::string::npos;) from_file.replace(at, said.size(), as_pipe);
    }
    EXPECT_EQ(from_pipe, from_file);
    ASSERT_EQ(RunToolStdout("test " + Data(name), &from_file), 0);
    ASSERT_EQ(RunCommand(pipe + "test - 2>/dev/null", &from_pipe), 0);
    EXPECT_EQ(from_pipe, from_file);
    TempDir dir;
    ASSERT_EQ(RunCommand(pipe + "extract - -C " + Quote(dir.File("pipe")), nullptr), 0);
    ASSERT_EQ(RunTool("extract " + Data(name) + " -C " + Quote(dir.File("file")), nullptr), 0);
    EXPECT_EQ(RunCommand("diff -r " + Quote(dir.File("pipe")) + " " + Quote(dir.File("file"))), 0);
  }
  std::string out;
  EXPECT_EQ(RunCommand("cat " + Quote(Data("method1.arj")) + " | " + Quote(Tool()) + " delete - a.txt", &out), 2);
  EXPECT_NE(out.find("not rewritten"), std::string::npos) << out;
  EXPECT_EQ(RunCommand("echo not an archive | " + Quote(Tool()) + " test -", &out), 2);
  EXPECT_NE(out.find("-: not an ARJ archive"), std::string::npos) << out;
}

TEST(ListCommand, ExitCodesAndMessagesNameTheFileAndTheCause) {
  std::string out;
  EXPECT_EQ(RunTool("list " + Data("truncated.arj"), &out), 1);
  EXPECT_NE(out.find("truncated.arj: archive is damaged"), std::string::npos) << out;
  EXPECT_NE(out.find("random.bin"), std::string::npos) << "what could be read is still listed";
  EXPECT_EQ(RunTool("list " + Data("gen_sources.py"), &out), 2);
  EXPECT_NE(out.find("gen_sources.py: not an ARJ archive"), std::string::npos) << out;
  for (const char* command : {"list", "test", "extract -c", "delete", "add"}) {
    EXPECT_EQ(RunTool(std::string(command) + " " + Data("src") + " x", &out), 2) << command;
    EXPECT_NE(out.find(Data("src") + ": cannot be opened: is a directory"), std::string::npos) << command << ": " << out;
  }
  EXPECT_EQ(RunTool("list /nonexistent/x.arj", &out), 2);
  EXPECT_NE(out.find("/nonexistent/x.arj: cannot be opened: not found"), std::string::npos) << out;
  EXPECT_EQ(RunTool("list", &out), 2);
  EXPECT_EQ(RunTool("list --bogus " + Data("method1.arj"), &out), 2);
  EXPECT_NE(out.find("unknown option --bogus"), std::string::npos) << out;
}

// The plug-in reads a header whose CRC fails as it stands (its name may be
// wrong); the tool names the entry, and so does --recover (its sizes lead
// to the next header, so it is not skipped).
TEST(ListCommand, AHeaderFailingItsCrcIsNamed) {
  TempDir dir;
  Bytes archive = ReadFile(Data("entries20.arj"));
  const std::string stored = "file05.txt";
  auto at = std::search(archive.begin(), archive.end(), stored.begin(), stored.end());
  ASSERT_NE(at, archive.end());
  at[5] = '7';  // file07.txt, under a CRC made for file05.txt
  const std::string path = dir.File("crc.arj");
  WriteFile(path, archive);
  std::string out;
  EXPECT_EQ(RunTool("list " + path, &out), 1);
  EXPECT_NE(out.find(path + ": file07.txt: header CRC mismatch"), std::string::npos) << out;
  ASSERT_EQ(RunToolStdout("list --json " + path, &out), 1);
  EXPECT_TRUE(JsonSatisfies(out, "[e['name'] for e in d['entries'] if not e['header_crc_ok']] == ['file07.txt']")) << out;
  EXPECT_TRUE(JsonSatisfies(out, "d['damaged']")) << out;
  ASSERT_EQ(RunToolStdout("list --json --recover " + path, &out), 1);
  EXPECT_TRUE(JsonSatisfies(out, "len(d['entries']) == 20 and d['skipped'] == [] and d['damaged'] and "
                                 "[e['name'] for e in d['entries'] if not e['header_crc_ok']] == ['file07.txt']"))
      << out;
  // Its fields cannot be trusted: test and extract fail it, as arj does.
  ASSERT_EQ(RunToolStdout("test --json " + path, &out), 1);
  EXPECT_TRUE(JsonSatisfies(out, "d['damaged'] and [(e['name'], e['result']) for e in d['entries'] if e['result'] != "
                                 "'ok'] == [('file07.txt', 'header CRC mismatch: the header is damaged')]"))
      << out;
  EXPECT_EQ(RunTool("test " + path, &out), 1);
  EXPECT_NE(out.find("19 ok, 1 failed"), std::string::npos) << out;
  EXPECT_EQ(RunTool("extract -C " + dir.File("out") + " " + path, &out), 1);
  EXPECT_EQ(std::filesystem::file_size(dir.File("out/file07.txt")), 112u) << "the sound file07.txt, kept";
}

TEST(ListCommand, AMainHeaderFailingItsCrcOrSealedIsNamed) {
  // arj refuses the first ("Bad header") and cannot verify a fake seal
  // ("Damaged ARJ-SECURED archive!"); we list, and say so with exit 1.
  TempDir dir;
  const Bytes entry = BuildHeader(StoredEntry("a.txt", "text"));
  Bytes bad_crc = MainHeader();
  bad_crc[10] ^= 1;
  const struct {
    const char* label;
    Bytes main;
    const char* message;
    const char* json;
  } cases[] = {
      {"crc", bad_crc, "main header CRC mismatch", "not d['main_header_crc_ok'] and not d['secured']"},
      {"sealed", MainHeader("test.arj", 0x40), "ARJ-SECURITY envelope, which is not verified",
       "d['main_header_crc_ok'] and d['secured']"},
  };
  for (const auto& c : cases) {
    const std::string path = dir.File(std::string(c.label) + ".arj");
    WriteFile(path, Concat({c.main, entry, EndMarker()}));
    std::string out;
    EXPECT_EQ(RunTool("test " + path, &out), 1) << c.label;
    EXPECT_NE(out.find(c.message), std::string::npos) << out;
    EXPECT_EQ(RunToolStdout("list --json " + path, &out), 1) << c.label;
    EXPECT_TRUE(JsonSatisfies(out, std::string(c.json) + " and len(d['entries']) == 1")) << out;
  }
}

TEST(ListCommand, TheWholeSetFromAnyVolumeOrOneVolumeOnRequest) {
  std::string all, single, traced, first;
  ASSERT_EQ(RunToolStdout("list --json " + Data("split.arj"), &first), 0) << first;
  TempDir dir;
  WriteFile(dir.File("first.json"), ToBytes(first));
  const std::string listed_first = "json.load(open('" + dir.File("first.json") + "'))";
  // Named by any volume (the set arj made of tests/data/src/split), the set
  // lists alike, with one digest, and the split file with the CRC of the
  // whole file and each part's own.
  for (const char* volume : {"split.arj", "split.a01", "split.a02"}) {
    ASSERT_EQ(RunToolStdout("list --json " + Data(volume), &all), 0) << all;
    EXPECT_TRUE(JsonSatisfies(all, "d['entries'] == " + listed_first + "['entries'] and d['digest'] == " +
                                       listed_first + "['digest']"))
        << volume << "\n" << all;
  }
  EXPECT_TRUE(JsonSatisfies(all, "[(e['name'], e['size'], e['crc']) for e in d['entries']] == "
                                 "[('small.txt', 33, 'a13a6594'), ('big.bin', 30000, '192e4f9c')] and "
                                 "d['entries'][1]['parts'] == [{'size': 11176, 'crc': 'a4294049', 'volume': 'split.arj'}, "
                                 "{'size': 11276, 'crc': '0329a5a4', 'volume': 'split.a01'}, "
                                 "{'size': 7548, 'crc': '7a453cc9', 'volume': 'split.a02'}] and "
                                 "d['multi_volume']"))
      << all;
  ASSERT_EQ(RunTool("list " + Data("split.a01"), &all), 0) << all;
  EXPECT_NE(all.find("192e4f9c"), std::string::npos) << "the table shows the whole file's CRC\n" << all;
  // One volume: the rest of big.bin is listed, its first part not read.
  ASSERT_EQ(RunTool(Data("split.a02") + " list --single-volume --json", &single), 1) << "options after operands";
  EXPECT_EQ(single.find("\"small.txt\""), std::string::npos) << single;
  EXPECT_NE(single.find("big.bin: its first part is missing"), std::string::npos) << single;
  EXPECT_NE(single.find("\"size\": 7548"), std::string::npos) << single;
  ASSERT_EQ(RunTool("list --trace 400 " + Data("split.arj"), &traced), 0);
  EXPECT_NE(traced.find("trace 400: arj\topen volume 1 result"), std::string::npos) << traced;
}

// A volume that is there but cannot be read is named with its cause, and
// the listing of what comes before it exits 1; never a set listed short
// with exit 0.
TEST(ListCommand, AVolumeThatCannotBeReadIsNamedWithItsCause) {
  enum class Block { kFolder, kText, kNoPermission, kDescriptors };
  const struct {
    Block block;
    const char* volume;  // the volume blocked
    const char* cause;
  } cases[] = {
      {Block::kFolder, "split.a01", "not a regular file"},
      {Block::kText, "split.a02", "no ARJ main header at its start"},
      {Block::kNoPermission, "split.a01", "access denied"},
      {Block::kDescriptors, "", "too many open files"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cause);
    if (c.block == Block::kNoPermission && ::geteuid() == 0) continue;  // root reads any file
    TempDir dir;
    std::string archive = dir.File("split.arj"), limit;
    for (const char* v : {"split.arj", "split.a01", "split.a02"}) WriteFile(dir.File(v), ReadFile(Data(v)));
    const std::string blocked = dir.File(c.volume);
    switch (c.block) {
      case Block::kFolder:
        std::filesystem::remove(blocked);
        std::filesystem::create_directory(blocked);
        break;
      case Block::kText:
        WriteFile(blocked, ToBytes("plain text"));
        break;
      case Block::kNoPermission:
        std::filesystem::permissions(blocked, std::filesystem::perms::none);
        break;
      case Block::kDescriptors:
        // More volumes than descriptors: each volume of a set stays open.
        archive = dir.File("many.arj");
        // The leak check of a sanitizer build needs descriptors of its own at exit.
        limit = "ulimit -n 24; export ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\"; ";
        for (int v = 0; v < 40; ++v) {
          char name[16];
          std::snprintf(name, sizeof name, v == 0 ? "many.arj" : "many.a%02d", v);
          WriteFile(dir.File(name), Concat({MainHeader(name, v < 39 ? Bit(MainFlag::kContinuesInNext) : 0),
                                            BuildHeader(StoredEntry(name, "x")), EndMarker()}));
        }
        break;
    }
    std::string out, json;
    EXPECT_EQ(RunCommand(limit + Tool() + " list " + archive + " </dev/null", &out), 1) << out;
    EXPECT_NE(out.find(archive + ": archive is incomplete: its volume "), std::string::npos) << out;
    EXPECT_NE(out.find(std::string(" cannot be read: ") + c.cause), std::string::npos) << out;
    EXPECT_EQ(RunCommand("(" + limit + Tool() + " list --json " + archive + " </dev/null 2>/dev/null)", &json), 1);
    EXPECT_TRUE(JsonSatisfies(json, std::string("d['incomplete'] and [v['cause'] for v in d['unreadable_volumes']] == ['") +
                                        c.cause + "']"))
        << json;
  }
}

TEST(ListCommand, NamesOfAnyBytesShowAsUtf8AndKeepJsonValid) {
  TempDir dir;
  std::string path = dir.File("names.arj");
  WriteFile(path, Concat({MainHeader(), BuildHeader(StoredEntry("\x81" "ber.txt", "a")),
                          BuildHeader(StoredEntry(std::string("q\"u\\o\x01te\x7f") + "\xff", "b")),
                          BuildHeader(StoredEntry("gr\xc3\xbc\xc3\x9f.txt", "c")), EndMarker()}));
  std::string out;
  ASSERT_EQ(RunTool("list " + path, &out), 0);
  EXPECT_NE(out.find("\xc3\xbc" "ber.txt"), std::string::npos) << "code page 437 byte 0x81 is u-umlaut";
  EXPECT_NE(out.find("gr\xc3\xbc\xc3\x9f.txt"), std::string::npos) << "valid UTF-8 is kept";
  ASSERT_EQ(RunTool("list --json " + path, &out), 0);
  EXPECT_TRUE(JsonSatisfies(out)) << out;
  ASSERT_EQ(RunTool("list --codepage 866 " + path, &out), 0);
  EXPECT_NE(out.find("\xd0\x91" "ber.txt"), std::string::npos) << "0x81 is Cyrillic in code page 866";
  EXPECT_EQ(RunTool("list --codepage 1252 " + path, &out), 2);
}

TEST(ListCommand, ControlBytesInNamesAreEscapedOnTheTerminalAndExactInJson) {
  TempDir dir;
  const std::string name = "\x1b[31mred\nrow\xe2\x80\xae.txt";
  std::string path = dir.File("ctl\x1b.arj");
  WriteFile(path, Concat({MainHeader(), BuildHeader(StoredEntry(name, "a")),
                          BuildHeader(StoredEntry("b.txt", "b", 0x04)), EndMarker()}));
  std::string out;
  EXPECT_EQ(RunTool("list " + path, &out), 1) << "the last entry continues into a missing volume";
  EXPECT_NE(out.find("\\x1b[31mred\\nrow\\u202e.txt"), std::string::npos) << out;
  EXPECT_NE(out.find("ctl\\x1b.arj"), std::string::npos) << "the archive's name too\n" << out;
  EXPECT_EQ(out.find('\x1b'), std::string::npos) << out;
  EXPECT_EQ(RunTool("test " + path, &out), 1);
  EXPECT_EQ(out.find('\x1b'), std::string::npos) << out;
  ASSERT_EQ(RunToolStdout("list --json " + path, &out), 1);
  EXPECT_TRUE(JsonSatisfies(out, "d['entries'][0]['name'] == '\\x1b[31mred\\nrow\\u202e.txt' and d['incomplete']")) << out;
}

}  // namespace
