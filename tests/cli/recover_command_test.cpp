// --recover as a user runs it: damaged archives built from sound ones, and
// what list, test and extract make of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "tests/support/archive_builder.h"
#include "tests/support/commands.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"
#include "tests/support/tool_runner.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

// The first byte of a builder-made local header's name: id, basic size,
// then the 30-byte first header.
constexpr size_t kNameAt = 4 + 30;

// A sound archive of stored entries, kept as its parts so that a test can
// damage one and knows where everything lies.
struct Parts {
  Bytes main = MainHeader();
  std::vector<Bytes> entries;
  std::vector<std::string> names, contents;
  Bytes end = EndMarker();

  explicit Parts(size_t count) {
    for (size_t i = 0; i < count; ++i) {
      names.push_back("f" + std::to_string(i) + ".txt");
      contents.push_back(std::string(17 * i % 300, static_cast<char>('a' + i % 26)) + std::to_string(i));
      entries.push_back(BuildHeader(StoredEntry(names.back(), contents.back())));
    }
  }
  uint64_t OffsetOf(size_t entry) const {
    uint64_t at = main.size();
    for (size_t i = 0; i < entry; ++i) at += entries[i].size();
    return at;
  }
  Bytes Join() const {
    std::vector<Bytes> all{main};
    all.insert(all.end(), entries.begin(), entries.end());
    all.push_back(end);
    return Concat(all);
  }
  // The names of every entry but those in `lost`, as a Python list.
  std::string NamesWithout(const std::vector<size_t>& lost) const {
    std::string list = "[";
    for (size_t i = 0; i < names.size(); ++i)
      if (std::find(lost.begin(), lost.end(), i) == lost.end()) list += "'" + names[i] + "',";
    return list + "]";
  }
};

// A byte of the entry's name changed: its header CRC no longer matches,
// but its sizes still lead to the next header.
void DamageName(Bytes& entry) { entry[kNameAt] ^= 0x20; }
// A byte of its packed size changed: its CRC fails and its data no longer
// ends where the next header starts, so recovery skips it.
constexpr size_t kPackedSizeAt = 4 + 12;
void DamageSize(Bytes& entry) { entry[kPackedSizeAt] ^= 0x01; }

std::string SkippedList(const std::vector<std::pair<uint64_t, uint64_t>>& ranges) {
  std::string list = "[";
  for (const auto& [offset, size] : ranges) list += "(" + std::to_string(offset) + "," + std::to_string(size) + "),";
  return list + "]";
}

std::string JsonOf(const std::string& args) {
  std::string out;
  RunToolStdout(args, &out);
  return out;
}

TEST(RecoverCommand, OneDamagedHeaderOf385LosesOnlyItsEntry) {
  Parts parts(385);
  DamageSize(parts.entries[200]);
  TempDir dir;
  const std::string archive = dir.File("damaged.arj");
  WriteFile(archive, parts.Join());

  std::string out;
  EXPECT_EQ(RunTool("list --recover " + archive, &out), 1);
  const std::string skipped_line = "damaged.arj: skipped " + std::to_string(parts.entries[200].size()) +
                                   " bytes at offset " + std::to_string(parts.OffsetOf(200));
  EXPECT_NE(out.find(skipped_line), std::string::npos) << out.substr(0, 300);
  EXPECT_NE(out.find("384 entries"), std::string::npos);

  const std::string json = JsonOf("list --recover --json " + archive);
  EXPECT_TRUE(JsonSatisfies(json, "[e['name'] for e in d['entries']] == " + parts.NamesWithout({200}) +
                                      " and [(s['offset'], s['size']) for s in d['skipped']] == " +
                                      SkippedList({{parts.OffsetOf(200), parts.entries[200].size()}}) +
                                      " and d['skipped'][0]['cause'] == 'header CRC mismatch' and d['damaged']" +
                                      " and d['skipped'][0]['volume'] == 'damaged.arj'"));

  TempDir out_dir;
  EXPECT_EQ(RunTool("extract --recover " + archive + " -C " + out_dir.path(), &out), 1);
  size_t files = 0;
  for (const auto& e : fs::directory_iterator(out_dir.path())) files += e.is_regular_file();
  EXPECT_EQ(files, 384u);
  for (size_t i = 0; i < parts.names.size(); ++i) {
    const std::string path = out_dir.File(parts.names[i]);
    if (i == 200) EXPECT_FALSE(fs::exists(path));
    else EXPECT_EQ(ReadFile(path), ToBytes(parts.contents[i])) << parts.names[i];
  }
}

// A header whose name is damaged but whose sizes lead on is read, not
// skipped: its entry fails in every output, and --keep-damaged keeps its
// data (when it matches its CRC) under the name marked as damaged.
TEST(RecoverCommand, DamagedNameFailsItsEntryEverywhere) {
  Parts parts(6);
  DamageName(parts.entries[3]);
  const std::string damaged_name = "F3.txt";  // 'f' ^ 0x20
  TempDir dir;
  const std::string archive = dir.File("a.arj");
  WriteFile(archive, parts.Join());
  for (const std::string& command : {std::string("list"), std::string("test")}) {
    SCOPED_TRACE(command);
    std::string out;
    EXPECT_EQ(RunTool(command + " --recover " + archive, &out), 1) << out;
    EXPECT_NE(out.find("header CRC mismatch"), std::string::npos) << out;
  }
  EXPECT_TRUE(JsonSatisfies(JsonOf("list --recover --json " + archive),
                            "d['damaged'] and d['skipped'] == [] and [e['header_crc_ok'] for e in d['entries']] == "
                            "[True, True, True, False, True, True]"));
  EXPECT_TRUE(JsonSatisfies(JsonOf("test --recover --json " + archive),
                            "d['damaged'] and d['summary']['ok'] == 5 and d['summary']['failed'] == 1 and "
                            "d['entries'][3]['result'].startswith('header CRC mismatch')"));
  for (const bool keep : {false, true}) {
    SCOPED_TRACE(keep ? "--keep-damaged" : "without --keep-damaged");
    TempDir out_dir;
    std::string out;
    const std::string run = "extract --recover --json " + archive + " -C " + out_dir.path();
    EXPECT_EQ(RunToolStdout(run + (keep ? " --keep-damaged" : ""), &out), 1);
    EXPECT_TRUE(JsonSatisfies(out, "d['damaged'] and d['summary']['failed'] == 1 and d['summary']['ok'] == 5 and "
                                   "d['entries'][3]['result'] != 'ok'"))
        << out;
    EXPECT_FALSE(fs::exists(out_dir.File(damaged_name)));
    EXPECT_FALSE(fs::exists(out_dir.File(parts.names[3])));
    const std::string kept = out_dir.File(damaged_name + ".damaged-header");
    EXPECT_EQ(fs::exists(kept), keep);
    if (keep) {
      EXPECT_EQ(ReadFile(kept), ToBytes(parts.contents[3]));
    }
  }
  // A file of the marked name is kept as any existing file is, unless -o.
  TempDir out_dir;
  const std::string kept = out_dir.File(damaged_name + ".damaged-header");
  WriteFile(kept, ToBytes("mine"));
  std::string out;
  EXPECT_EQ(RunTool("extract --recover --keep-damaged " + archive + " -C " + out_dir.path(), &out), 1);
  EXPECT_EQ(ReadFile(kept), ToBytes("mine")) << out;
  EXPECT_EQ(RunTool("extract --recover --keep-damaged -o " + archive + " -C " + out_dir.path(), &out), 1);
  EXPECT_EQ(ReadFile(kept), ToBytes(parts.contents[3])) << out;
}

TEST(RecoverCommand, EachKindOfDamageIsCutToTheNextSoundHeader) {
  struct Case {
    const char* what;
    std::function<Bytes(Parts&)> damage;  // returns the archive bytes
    std::vector<size_t> lost;
    std::function<std::vector<std::pair<uint64_t, uint64_t>>(const Parts&)> skipped;
  };
  const Bytes garbage = ToBytes(std::string(777, 'G') + "\x60\xEA\x10");
  const std::vector<Case> cases = {
      {"the first entry's header",
       [](Parts& p) { DamageSize(p.entries[0]); return p.Join(); }, {0},
       [](const Parts& p) { return std::vector<std::pair<uint64_t, uint64_t>>{{p.OffsetOf(0), p.entries[0].size()}}; }},
      {"two damaged places",
       [](Parts& p) { DamageSize(p.entries[2]); DamageSize(p.entries[7]); return p.Join(); }, {2, 7},
       [](const Parts& p) {
         return std::vector<std::pair<uint64_t, uint64_t>>{{p.OffsetOf(2), p.entries[2].size()},
                                                           {p.OffsetOf(7), p.entries[7].size()}};
       }},
      {"garbage inserted between entries",
       [&garbage](Parts& p) { p.entries[4] = Concat({garbage, p.entries[4]}); return p.Join(); }, {},
       [&garbage](const Parts& p) {
         return std::vector<std::pair<uint64_t, uint64_t>>{{p.OffsetOf(4), garbage.size()}};
       }},
      {"a damaged header whose name holds a fake header id",
       [](Parts& p) {
         p.entries[5] = BuildHeader(StoredEntry(std::string("x\x60\xEA\x20\x01") + "fake", "content"));
         p.names[5] = "-";
         DamageSize(p.entries[5]);
         return p.Join();
       },
       {5},
       [](const Parts& p) { return std::vector<std::pair<uint64_t, uint64_t>>{{p.OffsetOf(5), p.entries[5].size()}}; }},
      {"a basic header size over 2600",
       [](Parts& p) { p.entries[3][2] = 0x29, p.entries[3][3] = 0x0A; return p.Join(); }, {3},
       [](const Parts& p) { return std::vector<std::pair<uint64_t, uint64_t>>{{p.OffsetOf(3), p.entries[3].size()}}; }},
      {"a header whose size was zeroed, read as an end marker",
       [](Parts& p) { p.entries[6][2] = 0, p.entries[6][3] = 0; return p.Join(); }, {6},
       [](const Parts& p) { return std::vector<std::pair<uint64_t, uint64_t>>{{p.OffsetOf(6), p.entries[6].size()}}; }},
      {"a truncated last entry",
       [](Parts& p) {
         Bytes all = p.Join();
         all.resize(p.OffsetOf(9) + p.entries[9].size() - 20);
         return all;
       },
       {9},
       [](const Parts& p) {
         return std::vector<std::pair<uint64_t, uint64_t>>{{p.OffsetOf(9), p.entries[9].size() - 20}};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Parts parts(10);
    TempDir dir;
    const std::string archive = dir.File("a.arj");
    WriteFile(archive, c.damage(parts));
    const std::string json = JsonOf("list --recover --json " + archive);
    EXPECT_TRUE(JsonSatisfies(json, "[e['name'] for e in d['entries']] == " + parts.NamesWithout(c.lost) +
                                        " and [(s['offset'], s['size']) for s in d['skipped']] == " +
                                        SkippedList(c.skipped(parts))))
        << json;
    if (c.lost.empty()) {
      std::string out;
      EXPECT_EQ(RunTool("list " + archive, &out), 1);
      EXPECT_NE(out.find("4 entries"), std::string::npos) << "without --recover the scan stops at the damage";
      EXPECT_NE(out.find("(--recover reads past the damage)"), std::string::npos) << out;
    }
    const std::string tested = JsonOf("test --recover --json " + archive);
    EXPECT_TRUE(JsonSatisfies(tested, "d['summary']['failed'] == 0 and d['summary']['ok'] == " +
                                          std::to_string(10 - c.lost.size())))
        << tested;
  }
}

TEST(RecoverCommand, SelfExtractingArchiveAndVolumeOfASet) {
  Parts parts(4);
  DamageSize(parts.entries[1]);
  const Bytes stub(1000, 'S');
  TempDir dir;
  const std::string archive = dir.File("sfx.exe");
  WriteFile(archive, Concat({stub, parts.Join()}));
  EXPECT_TRUE(JsonSatisfies(JsonOf("list --recover --json " + archive),
                            "len(d['entries']) == 3 and d['skipped'][0]['offset'] == " +
                                std::to_string(stub.size() + parts.OffsetOf(1))))
      << "offsets are the file's, past the stub";

  // A set recovered from one volume (--single-volume) is not whole: every
  // command says so by its exit status; without it the whole set is read.
  std::string out;
  for (const std::string& command : {std::string("list"), std::string("test"), std::string("extract -C ")}) {
    const bool extract = command == "extract -C ";
    EXPECT_EQ(RunTool(command + (extract ? dir.File("one") : "") + " --recover --single-volume " + Data("split.arj"),
                      &out),
              1)
        << command;
    EXPECT_NE(out.find("--recover reads this volume alone"), std::string::npos) << out;
    EXPECT_EQ(RunTool(command + (extract ? dir.File("all") : "") + " --recover " + Data("split.a01"), &out), 0)
        << command << out;
  }
}

// A set made by arj with a damaged middle volume: naming any volume
// recovers the whole set, each volume keeps its name, and a file that
// goes on from a volume whose damage was skipped joins with its rest.
TEST(RecoverCommand, SetRecoveredAsOne) {
  REQUIRE_PEER("arj");
  TempDir dir;
  const std::string src = dir.File("src");
  fs::create_directory(src);
  std::vector<std::string> names;
  for (int i = 0; i < 60; ++i) {
    std::string text;
    for (int j = 0; j < 300 + 37 * i; ++j) text += std::to_string(i * 7919 + j * j) + " line of " + std::to_string(i) + "\n";
    names.push_back("file" + std::to_string(100 + i) + ".txt");
    WriteFile(src + "/" + names.back(), ToBytes(text));
  }
  ASSERT_LE(RunArj(src, "a -m1 -v50k ../set.arj '*'"), 1);
  ASSERT_TRUE(fs::exists(dir.File("set.a03")));
  // The fixed header of the first entry that starts in set.a01 (after the
  // part continued from set.arj) is zeroed, so that its header is skipped.
  Bytes volume = ReadFile(dir.File("set.a01"));
  std::string listed;
  ASSERT_EQ(RunToolStdout("list --json " + dir.File("set.arj"), &listed), 0);
  WriteFile(dir.File("list.json"), ToBytes(listed));
  std::string offset_text;
  ASSERT_EQ(RunCommand(Python() + " -c \"import json,sys; d=json.load(open(sys.argv[1])); "
                       "print([e for e in d['entries'] if e['volume'] == 'set.a01'][0]['header_offset'])\" " +
                           dir.File("list.json"),
                       &offset_text),
            0);
  const size_t header = std::stoul(offset_text);
  for (size_t k = 0; k < 40; ++k) volume[header + 8 + k] = 0;  // its fixed header and name
  WriteFile(dir.File("set.a01"), volume);

  for (const std::string& named : {std::string("set.arj"), std::string("set.a01"), std::string("set.a02")}) {
    SCOPED_TRACE(named);
    const std::string json = JsonOf("list --recover --json " + dir.File(named));
    EXPECT_TRUE(JsonSatisfies(json, "d['volumes'][:3] == ['set.arj', 'set.a01', 'set.a02'] and d['damaged'] and "
                                    "len(d['skipped']) == 1 and d['skipped'][0]['volume'] == 'set.a01' and "
                                    "d['incomplete'] == False and all(e['volume'] for e in d['entries']) and "
                                    "'set.a01' in [e['volume'] for e in d['entries']]"))
        << json.substr(0, 600);
    TempDir out_dir;
    std::string out;
    EXPECT_EQ(RunTool("extract --recover " + dir.File(named) + " -C " + out_dir.path(), &out), 1) << out;
    EXPECT_EQ(out.find("missing"), std::string::npos) << out;
    EXPECT_NE(out.find("set.a01: skipped "), std::string::npos) << out;
    size_t same = 0;
    for (const std::string& name : names)
      same += fs::exists(out_dir.File(name)) && ReadFile(out_dir.File(name)) == ReadFile(src + "/" + name);
    // Only the entry whose header was skipped is lost; arj x -jr gets no more.
    EXPECT_EQ(same, names.size() - 1);
  }
}

TEST(RecoverCommand, ArjMadeArchiveOf385Entries) {
  REQUIRE_PEER("arj");
  TempDir dir;
  const std::string src = dir.File("src");
  fs::create_directory(src);
  for (int i = 0; i < 385; ++i) {
    std::string text;
    for (int j = 0; j < 40 + i; ++j) text += "line " + std::to_string(i * j) + " of file " + std::to_string(i) + "\n";
    WriteFile(src + "/file" + std::to_string(1000 + i) + ".txt", ToBytes(text));
  }
  ASSERT_LE(RunArj(src, "a -m1 ../made.arj '*'"), 1);
  Bytes bytes = ReadFile(dir.File("made.arj"));
  // A byte of one stored name, found by its text.
  const std::string victim = "file1200.txt";
  auto at = std::search(bytes.begin(), bytes.end(), victim.begin(), victim.end());
  ASSERT_NE(at, bytes.end());
  at[4] = 'X';
  WriteFile(dir.File("made.arj"), bytes);

  TempDir out_dir;
  std::string out;
  EXPECT_EQ(RunTool("extract --recover " + dir.File("made.arj") + " -C " + out_dir.path(), &out), 1) << out;
  size_t same = 0;
  for (const auto& e : fs::directory_iterator(src)) {
    const std::string name = e.path().filename().string();
    const std::string extracted = out_dir.File(name);
    if (name == victim) EXPECT_FALSE(fs::exists(extracted));
    else same += fs::exists(extracted) && ReadFile(extracted) == ReadFile(e.path().string());
  }
  EXPECT_EQ(same, 384u);
}

}  // namespace
