// --recover as a user runs it: damaged archives built from sound ones, and
// what list, test and extract make of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "tests/support/archive_builder.h"
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

// A byte of the entry's name changed: its header CRC no longer matches.
void DamageName(Bytes& entry) { entry[kNameAt] ^= 0x20; }

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
  DamageName(parts.entries[200]);
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
                                      " and d['skipped'][0]['cause'] == 'header CRC mismatch' and d['damaged']"));

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
       [](Parts& p) { DamageName(p.entries[0]); return p.Join(); }, {0},
       [](const Parts& p) { return std::vector<std::pair<uint64_t, uint64_t>>{{p.OffsetOf(0), p.entries[0].size()}}; }},
      {"two damaged places",
       [](Parts& p) { DamageName(p.entries[2]); DamageName(p.entries[7]); return p.Join(); }, {2, 7},
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
         DamageName(p.entries[5]);
         return p.Join();
       },
       {5},
       [](const Parts& p) { return std::vector<std::pair<uint64_t, uint64_t>>{{p.OffsetOf(5), p.entries[5].size()}}; }},
      {"a basic header size over 2600",
       [](Parts& p) { p.entries[3][2] = 0x29, p.entries[3][3] = 0x0A; return p.Join(); }, {3},
       [](const Parts& p) { return std::vector<std::pair<uint64_t, uint64_t>>{{p.OffsetOf(3), p.entries[3].size()}}; }},
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
  DamageName(parts.entries[1]);
  const Bytes stub(1000, 'S');
  TempDir dir;
  const std::string archive = dir.File("sfx.exe");
  WriteFile(archive, Concat({stub, parts.Join()}));
  EXPECT_TRUE(JsonSatisfies(JsonOf("list --recover --json " + archive),
                            "len(d['entries']) == 3 and d['skipped'][0]['offset'] == " +
                                std::to_string(stub.size() + parts.OffsetOf(1))))
      << "offsets are the file's, past the stub";

  // A set recovered from one volume is not whole: every command says so by its exit status.
  std::string out;
  for (const std::string& command : {std::string("list"), std::string("test"), "extract -C " + dir.File("out")}) {
    EXPECT_EQ(RunTool(command + " --recover " + Data("split.arj"), &out), 1) << command;
    EXPECT_NE(out.find("--recover reads this volume alone"), std::string::npos) << out;
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
