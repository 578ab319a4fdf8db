// arjhost delete, replace, add and create as a user runs them: every
// archive they write passes both peers' tests, and both peers extract
// exactly the files we put in.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>

#include "cli/commands/interrupts.h"
#include "cli/commands/moved_sources.h"
#include "cli/output/messages.h"
#include "plugin/format/arj_layout.h"
#include "runtime/api/archive.h"
#include "runtime/api/pending_files.h"
#include "tests/support/api_status.h"
#include "tests/support/archive_builder.h"
#include "tests/support/archive_parser.h"
#include "tests/support/bytes.h"
#include "tests/support/commands.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"
#include "tests/support/sample_data.h"
#include "tests/support/sanitizers.h"
#include "tests/support/tool_runner.h"

namespace testing_support {
namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, Bytes>;

Tree ReadTree(const fs::path& root) {
  Tree tree;
  for (const auto& item : fs::recursive_directory_iterator(root))
    if (item.is_regular_file()) tree[fs::relative(item.path(), root).generic_string()] = ReadFile(item.path());
  return tree;
}

bool NoTemporaryFileIn(const std::string& dir) {
  for (const auto& item : fs::directory_iterator(dir)) {
    const std::string name = item.path().filename().string();
    if (name.find(".tmp-") != std::string::npos || name.find(".part") != std::string::npos) return false;
  }
  return true;
}

void Put(const std::string& dir, const std::string& name, const Bytes& content, Tree* expected) {
  fs::create_directories(fs::path(dir + "/" + name).parent_path());
  WriteFile(dir + "/" + name, content);
  if (expected != nullptr) (*expected)[name] = content;
}

// Both peers test the archive and extract exactly `expected` from it. Under
// the sanitizers arj's test alone: the tool writes the same bytes in every
// build, and the plain one has the peers extract them.
void ExpectPeersAgree(const std::string& archive, const Tree& expected, const std::string& password = "") {
  std::string output;
  const std::string garble = password.empty() ? "" : " -g" + password;
  EXPECT_EQ(RunArj(".", "t" + garble + " " + Quote(archive), &output), 0) << output;
  if (kUnderSanitizers) return;
  if (password.empty()) {
    EXPECT_EQ(Run7zz(".", "t " + Quote(archive), &output), 0) << output;
  }
  TempDir by_arj, by_7zz;
  EXPECT_EQ(RunArj(by_arj.path(), "x" + garble + " " + Quote(archive), &output), 0) << output;
  EXPECT_EQ(ReadTree(by_arj.path()), expected) << "as arj extracts " << archive;
  if (password.empty()) {
    EXPECT_EQ(Run7zz(".", "x -y -o" + Quote(by_7zz.path()) + " " + Quote(archive), &output), 0) << output;
    EXPECT_EQ(ReadTree(by_7zz.path()), expected) << "as 7zz extracts " << archive;
  }
}

void SetModifiedTime(const std::string& path, time_t when) {
  const timespec times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

class ToolRebuild : public ::testing::TestWithParam<int> {};

TEST_P(ToolRebuild, CreateAddReplaceDeleteAllSatisfyThePeers) {
  REQUIRE_PEER("arj");
  REQUIRE_PEER("7zz");
  const std::string m = std::to_string(GetParam());
  TempDir dir;
  Tree expected;
  Put(dir.path(), "text.txt", MixedSample(60000, 1), &expected);
  Put(dir.path(), "sub/dir/nested.bin", MixedSample(200000, 2), &expected);
  Put(dir.path(), "empty.txt", {}, &expected);
  Bytes noise(40000);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  Put(dir.path(), "noise.bin", noise, &expected);
  // Packed ahead by the workers in chunks joined into one stream (of 1 MiB:
  // two of them and a part of one will do under the sanitizers).
  Put(dir.path(), "big.bin", MixedSample(kUnderSanitizers ? 5u << 18 : 5u << 19, 6), &expected);
  Put(dir.path(), "random.bin", RandomSample(70000, 9), &expected);
  const std::string archive = dir.File("out.arj");

  ASSERT_EQ(RunToolIn(dir.path(), "create out.arj text.txt ./sub/dir/nested.bin empty.txt noise.bin big.bin random.bin -m " + m), 0);
  ExpectPeersAgree(archive, expected);
  // What packing would not make smaller is stored, as arj stores it.
  std::string listing;
  ASSERT_EQ(RunToolIn(dir.path(), "list out.arj --json", &listing), 0);
  for (const char* name : {"empty.txt", "random.bin"}) {
    const size_t at = listing.find(std::string("\"name\": \"") + name + "\"");
    ASSERT_NE(at, std::string::npos) << listing;
    EXPECT_NE(listing.find("\"method\": 0", at), std::string::npos) << name;
    EXPECT_LT(listing.find("\"method\": 0", at), listing.find("}", at)) << name;
  }

  Put(dir.path(), "later.txt", MixedSample(5000, 3), &expected);
  Put(dir.path(), "source.txt", MixedSample(3000, 4), nullptr);
  expected["stored/as.txt"] = ReadFile(dir.File("source.txt"));
  ASSERT_EQ(RunToolIn(dir.path(), "add out.arj later.txt source.txt=stored/as.txt -m " + m), 0);
  ExpectPeersAgree(archive, expected);

  Put(dir.path(), "replacement.txt", MixedSample(90000, 5), nullptr);
  expected["text.txt"] = ReadFile(dir.File("replacement.txt"));
  ASSERT_EQ(RunToolIn(dir.path(), "replace out.arj text.txt=replacement.txt"), 0);
  ExpectPeersAgree(archive, expected);

  expected.erase("noise.bin");
  expected.erase("empty.txt");
  expected.erase("big.bin");
  expected.erase("random.bin");
  ASSERT_EQ(RunToolIn(dir.path(), "delete out.arj noise.bin empty.txt big.bin random.bin"), 0);
  ExpectPeersAgree(archive, expected);
  EXPECT_FALSE(fs::exists(dir.File("noise.bin.tmp"))) << "no temporary file is left";
}

INSTANTIATE_TEST_SUITE_P(Methods, ToolRebuild, ::testing::Values(0, 1, 2, 3, 4));

// Volume sets as arj a -v writes them: no volume over the size, each
// volume a whole archive, split files packed part by part; arj tests and
// extracts the whole set, 7zz its first volume, and we read it from any
// volume.
class ToolVolumeSet : public ::testing::TestWithParam<int> {};

// The name of volume `n` (1 to 99) of the set whose first volume is `first`.
std::string VolumeName(const std::string& first, size_t n) {
  return first.substr(0, first.size() - 3) + (n < 10 ? "a0" : "a") + std::to_string(n);
}

std::vector<std::string> VolumesOf(const std::string& dir, const std::string& first) {
  std::vector<std::string> volumes{first};
  for (size_t n = 1; fs::exists(dir + "/" + VolumeName(first, n)); ++n) volumes.push_back(VolumeName(first, n));
  return volumes;
}

void ExpectSoundSet(const std::string& dir, const std::string& first, uint64_t size, const Tree& expected) {
  const std::vector<std::string> volumes = VolumesOf(dir, first);
  EXPECT_GE(volumes.size(), 3u);
  for (const std::string& v : volumes) EXPECT_LE(fs::file_size(dir + "/" + v), size) << v;
  std::string output;
  EXPECT_EQ(RunArj(dir, "t -v " + Quote(first), &output), 0) << output;
  TempDir by_arj;
  EXPECT_EQ(RunArj(by_arj.path(), "x -v " + Quote(dir + "/" + first), &output), 0) << output;
  EXPECT_EQ(ReadTree(by_arj.path()), expected);
  EXPECT_EQ(Run7zz(dir, "t " + Quote(first), &output), 0) << output;
  for (const std::string& v : volumes) EXPECT_EQ(RunToolIn(dir, "test " + Quote(v), &output), 0) << v << output;
  ASSERT_EQ(RunToolStdout("list --json " + Quote(dir + "/" + volumes.back()), &output), 0) << output;
  EXPECT_TRUE(JsonSatisfies(output, "d['multi_volume'] and len(d['volumes']) == " + std::to_string(volumes.size()) +
                                        " and max(len(e['parts']) for e in d['entries']) >= 2"))
      << output;
  EXPECT_TRUE(NoTemporaryFileIn(dir));
}

TEST_P(ToolVolumeSet, CreateAndAddWriteSetsArjReads) {
  REQUIRE_PEER("arj");
  REQUIRE_PEER("7zz");
  const std::string method = std::to_string(GetParam());
  TempDir dir, src;
  Tree expected;
  Put(src.path(), "text.txt", TextSample(60000, 1), &expected);
  Put(src.path(), "noise.bin", RandomSample(25000, 2), &expected);
  Put(src.path(), "d/small.txt", TextSample(300, 3), &expected);
  std::string output;
  const std::string files = " text.txt noise.bin d -m " + method;
  ASSERT_EQ(RunToolIn(src.path(), "create " + Quote(dir.File("set.arj")) + files + " --volume-size 10K", &output), 0)
      << output;
  ExpectSoundSet(dir.path(), "set.arj", 10 * 1024, expected);

  // A single archive grown into a set; a rewrite of the set.
  ASSERT_EQ(RunToolIn(src.path(), "create " + Quote(dir.File("one.arj")) + " d -m " + method, &output), 0) << output;
  ASSERT_EQ(RunToolIn(src.path(), "add " + Quote(dir.File("one.arj")) + " text.txt noise.bin -m " + method +
                                      " --volume-size 12K",
                      &output),
            0)
      << output;
  ExpectSoundSet(dir.path(), "one.arj", 12 * 1024, expected);

  // A set rewritten, named by a later volume: a new set in its place at the
  // old volumes' size, the volumes past its end removed. Its volumes are
  // found beside it, not where the tool runs, whose files of the same
  // names stay as they are.
  const size_t before = VolumesOf(dir.path(), "one.arj").size();
  for (const char* decoy : {"one.arj", "one.a01", "one.a02", "one.a03"}) WriteFile(src.File(decoy), ToBytes(decoy));
  ASSERT_EQ(RunToolIn(src.path(), "delete " + Quote(dir.File("one.a01")) + " noise.bin", &output), 0) << output;
  for (const char* decoy : {"one.arj", "one.a01", "one.a02", "one.a03"}) EXPECT_EQ(ReadFile(src.File(decoy)), ToBytes(decoy));
  expected.erase("noise.bin");
  const std::vector<std::string> after = VolumesOf(dir.path(), "one.arj");
  EXPECT_LT(after.size(), before);
  EXPECT_FALSE(fs::exists(dir.File(VolumeName("one.arj", before - 1))));
  for (const std::string& v : after) EXPECT_LE(fs::file_size(dir.File(v)), 12 * 1024u) << v;
  EXPECT_EQ(RunArj(dir.path(), "t -v one.arj", &output), 0) << output;
  TempDir by_arj;
  EXPECT_EQ(RunArj(by_arj.path(), "x -v " + Quote(dir.File("one.arj")), &output), 0) << output;
  EXPECT_EQ(ReadTree(by_arj.path()), expected);
  EXPECT_TRUE(NoTemporaryFileIn(dir.path()));

  // Written elsewhere (-o), a set leaves the one it was read from whole.
  const std::vector<std::string> kept = VolumesOf(dir.path(), "one.arj");
  ASSERT_EQ(RunToolIn(dir.path(), "delete one.arj d/small.txt -o other.arj --volume-size 20K", &output), 0) << output;
  EXPECT_EQ(VolumesOf(dir.path(), "one.arj"), kept);
  EXPECT_EQ(RunArj(dir.path(), "t -v other.arj", &output), 0) << output;

  // Emptied, the whole set is removed.
  ASSERT_EQ(RunToolIn(dir.path(), "delete one.a01 '*'", &output), 0) << output;
  for (const std::string& v : after) EXPECT_FALSE(fs::exists(dir.File(v))) << v;
}

INSTANTIATE_TEST_SUITE_P(Methods, ToolVolumeSet, ::testing::Values(0, 1, 4));

// A set's rewrite copies the parts of its split files as they are where
// they still fit: a delete before them leaves them as they were (and
// their bytes), packing nothing again.
TEST(ToolVolumeSetRewrites, PartsThatStillFitAreCopiedAsTheyAre) {
  REQUIRE_PEER("arj");
  TempDir dir;
  Tree expected;
  Put(dir.path(), "first.txt", TextSample(3000, 1), nullptr);
  Put(dir.path(), "big.bin", MixedSample(200000, 2), &expected);
  std::string output;
  ASSERT_EQ(RunToolIn(dir.path(), "create set.arj first.txt big.bin -m 1 --volume-size 10K", &output), 0) << output;
  ASSERT_EQ(RunToolStdout("list --json " + Quote(dir.File("set.arj")), &output), 0) << output;
  ASSERT_TRUE(JsonSatisfies(output, "len(d['entries'][-1]['parts']) >= 3")) << output;
  WriteFile(dir.File("before.json"), ToBytes(output));
  ASSERT_EQ(RunToolIn(dir.path(), "delete set.arj first.txt", &output), 0) << output;
  ASSERT_EQ(RunToolStdout("list --json " + Quote(dir.File("set.arj")), &output), 0) << output;
  WriteFile(dir.File("after.json"), ToBytes(output));
  const std::string same_parts =
      Python() + " -c \"import json, sys\n"
      "parts = lambda f: [(p['size'], p['crc']) for p in json.load(open(f))['entries'][-1]['parts']]\n"
      "sys.exit(parts(sys.argv[1]) != parts(sys.argv[2]))\" ";
  EXPECT_EQ(RunCommand(same_parts + Quote(dir.File("before.json")) + " " + Quote(dir.File("after.json"))), 0) << output;
  fs::remove(dir.File("before.json"));
  fs::remove(dir.File("after.json"));
  EXPECT_EQ(RunArj(dir.path(), "t -v set.arj", &output), 0) << output;
  TempDir by_arj;
  EXPECT_EQ(RunArj(by_arj.path(), "x -v " + Quote(dir.File("set.arj")), &output), 0) << output;
  EXPECT_EQ(ReadTree(by_arj.path()), expected);
}

// In a set whose files are split over volumes, handles count parts: every
// rewrite must find the entry it names by its identity, not by a position.
TEST(ToolVolumeSetRewrites, EachCommandChangesTheEntryItNamesPastSplitFiles) {
  REQUIRE_PEER("arj");
  TempDir src;
  Tree files;
  Put(src.path(), "big1.bin", RandomSample(40000, 1), &files);
  Put(src.path(), "big2.bin", RandomSample(30000, 2), &files);
  Put(src.path(), "x4.txt", TextSample(300, 3), &files);
  Put(src.path(), "a.txt", TextSample(200, 4), &files);
  fs::create_directories(src.File("folder"));
  SetModifiedTime(src.File("a.txt"), 1577836800);  // 2020
  std::string output;
  ASSERT_EQ(RunToolIn(src.path(), "create set.arj big1.bin big2.bin folder x4.txt a.txt --volume-size 12K -m 0", &output),
            0)
      << output;
  const std::vector<std::string> volumes = VolumesOf(src.path(), "set.arj");
  // The files as they are now: x4.txt newer than its entry, a.txt older.
  Put(src.path(), "x4.txt", TextSample(500, 5), nullptr);
  SetModifiedTime(src.File("x4.txt"), ::time(nullptr) + 10);
  Put(src.path(), "a.txt", TextSample(250, 6), nullptr);
  SetModifiedTime(src.File("a.txt"), 1546300800);  // 2019
  struct Case {
    const char* args;
    int exit_code;
    const char* json_check;  // of `list --json` afterwards
    std::vector<std::string> now_from_disk;  // entries whose bytes are now the file's
  };
  const Case cases[] = {
      {"add set.arj -u x4.txt a.txt", 0, "True", {"x4.txt"}},
      {"add set.arj --freshen x4.txt a.txt", 0, "True", {"x4.txt"}},
      {"replace set.arj a.txt=a.txt", 0, "True", {"a.txt"}},
      {"replace set.arj folder=x4.txt", 2, "[e['folder'] for e in d['entries'] if e['name']=='folder']==[True]", {}},
      {"add set.arj --entry-comment x4.txt=hello", 0,
       "[e['comment'] for e in d['entries'] if e['name']=='x4.txt']==['hello\\n']", {}},
      {"delete set.arj x4.txt", 0, "'x4.txt' not in [e['name'] for e in d['entries']]", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    TempDir dir;
    for (const std::string& v : volumes) fs::copy_file(src.File(v), dir.File(v));
    for (const char* name : {"x4.txt", "a.txt"}) fs::copy_file(src.File(name), dir.File(name));
    SetModifiedTime(dir.File("x4.txt"), ::time(nullptr) + 10);
    SetModifiedTime(dir.File("a.txt"), 1546300800);
    EXPECT_EQ(RunToolIn(dir.path(), c.args, &output), c.exit_code) << output;
    ASSERT_EQ(RunToolStdout("list --json " + Quote(dir.File("set.arj")), &output), 0) << output;
    EXPECT_TRUE(JsonSatisfies(output, c.json_check)) << output;
    Tree expected = files;
    for (const std::string& name : c.now_from_disk) expected[name] = ReadFile(dir.File(name));
    if (std::string(c.args).rfind("delete", 0) == 0) expected.erase("x4.txt");
    EXPECT_EQ(RunArj(dir.path(), "t -v set.arj", &output), 0) << output;
    TempDir by_arj;
    EXPECT_EQ(RunArj(by_arj.path(), "x -v " + Quote(dir.File("set.arj")), &output), 0) << output;
    EXPECT_EQ(ReadTree(by_arj.path()), expected);
  }
}

// A damaged entry a set's rewrite copies is said, as one archive's is.
TEST(ToolVolumeSetRewrites, ADamagedEntryCopiedIsSaid) {
  TempDir dir;
  Put(dir.path(), "big.bin", RandomSample(30000, 1), nullptr);
  Put(dir.path(), "a.txt", TextSample(300, 2), nullptr);
  Put(dir.path(), "b.txt", TextSample(200, 3), nullptr);
  std::string output;
  ASSERT_EQ(RunToolIn(dir.path(), "create set.arj big.bin a.txt b.txt --volume-size 10K -m 0", &output), 0) << output;
  bool spoilt = false;
  for (const std::string& v : VolumesOf(dir.path(), "set.arj")) {
    Bytes volume = ReadFile(dir.File(v));
    for (const ParsedEntry& e : ParseArchive(volume).entries)
      if (e.name == "a.txt" && !spoilt) {
        volume[e.data_offset + 7] ^= 0x20;
        WriteFile(dir.File(v), volume);
        spoilt = true;
      }
  }
  ASSERT_TRUE(spoilt);
  ASSERT_EQ(RunToolIn(dir.path(), "delete set.arj b.txt", &output), 0) << output;
  EXPECT_NE(output.find("a.txt: its data fails its CRC; copied as it is"), std::string::npos) << output;
}

// A protected set rewritten: its record is not carried over, and no
// volume's main header says it is protected.
TEST(ToolVolumeSetRewrites, AProtectedSetLosesItsFlagWithItsRecord) {
  REQUIRE_PEER("arj");
  TempDir dir;
  fs::create_directory(dir.File("src"));
  Put(dir.File("src"), "r.bin", RandomSample(30000, 1), nullptr);
  Put(dir.File("src"), "a.txt", TextSample(9000, 2), nullptr);
  Put(dir.File("src"), "b.txt", TextSample(3000, 3), nullptr);
  std::string output;
  ASSERT_EQ(RunArj(dir.File("src"), "a -v20k -hk -m0 ../p.arj r.bin a.txt b.txt", &output), 0) << output;
  ASSERT_EQ(ReadFile(dir.File("p.arj"))[8] & 0x08, 0x08) << "arj protects the set";
  ASSERT_EQ(RunToolIn(dir.path(), "delete p.arj b.txt", &output), 0) << output;
  EXPECT_NE(output.find("its ARJ-PROTECT data is not carried over"), std::string::npos) << output;
  for (const std::string& v : VolumesOf(dir.path(), "p.arj")) EXPECT_EQ(ReadFile(dir.File(v))[8] & 0x08, 0) << v;
  EXPECT_EQ(RunArj(dir.path(), "t -v p.arj", &output), 0) << output;
}

TEST(ToolVolumeSetRefusals, SmallSizesOtherNamesAndStrangersFilesAreRefused) {
  TempDir dir;
  Put(dir.path(), "a.txt", TextSample(30000, 1), nullptr);
  std::string output;
  EXPECT_EQ(RunToolIn(dir.path(), "create s.arj a.txt --volume-size 9K", &output), 2) << output;
  EXPECT_NE(output.find("at least 10K"), std::string::npos) << output;
  EXPECT_EQ(RunToolIn(dir.path(), "create s.zip a.txt --volume-size 10K", &output), 1) << output;
  EXPECT_NE(output.find("NAME.arj"), std::string::npos) << output;
  // A file at a later volume's name that is not of this archive stays.
  Put(dir.path(), "s.a01", Bytes{1, 2, 3}, nullptr);
  EXPECT_EQ(RunToolIn(dir.path(), "create s.arj a.txt --volume-size 10K -m 0", &output), 1) << output;
  EXPECT_NE(output.find("s.a01 exists and is not a volume"), std::string::npos) << output;
  EXPECT_EQ(ReadFile(dir.File("s.a01")), (Bytes{1, 2, 3}));
  EXPECT_FALSE(fs::exists(dir.File("s.arj")));
  EXPECT_TRUE(NoTemporaryFileIn(dir.path()));
}

// Chapters as arj ac adds them: the same files through three chapters,
// by arj and by us, list the same names and chapter ranges in the same
// order and extract the same; a plain archive takes no chapter.
TEST(ToolChapters, NewChaptersListAndExtractAsArjAcMakesThem) {
  REQUIRE_PEER("arj");
  TempDir dir;
  auto put = [&](const std::string& name, const std::string& text, time_t when) {
    Put(dir.path(), name, ToBytes(text), nullptr);
    const timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.File(name).c_str(), times, 0), 0);
  };
  const time_t day = 1577836800;  // 2020-01-01
  std::string output;
  auto both = [&](const std::string& files) {
    ASSERT_EQ(RunArj(dir.path(), "ac by_arj.arj " + files, &output), 0) << output;
    ASSERT_EQ(RunToolIn(dir.path(), "add --new-chapter ours.arj " + files, &output), 0) << output;
  };
  put("a.txt", "one\n", day);
  put("b.txt", "two\n", day);
  both("a.txt b.txt");
  put("b.txt", "changed\n", day);  // another size
  put("c.txt", "new\n", day);
  both("c.txt b.txt a.txt");
  put("a.txt", "one\n", day + 86400);  // another time
  both("a.txt c.txt");  // b.txt is not carried
  auto ranges = [&](const std::string& archive) {
    EXPECT_EQ(RunToolStdout("list -v " + Quote(dir.File(archive)), &output), 0) << output;
    std::string lines;
    for (const auto& block : FieldBlocks(output)) lines += block.at("Path") + " " + block.at("Chapters") + "\n";
    return lines;
  };
  EXPECT_EQ(ranges("ours.arj"), ranges("by_arj.arj"));
  EXPECT_NE(ranges("ours.arj").find("<<<003>>> 003-003"), std::string::npos) << ranges("ours.arj");
  EXPECT_EQ(RunArj(dir.path(), "t ours.arj", &output), 0) << output;
  TempDir by_arj, by_us;
  EXPECT_EQ(RunArj(by_arj.path(), "x " + Quote(dir.File("by_arj.arj")), &output), 0) << output;
  EXPECT_EQ(RunArj(by_us.path(), "x " + Quote(dir.File("ours.arj")), &output), 0) << output;
  EXPECT_EQ(ReadTree(by_us.path()), ReadTree(by_arj.path()));

  ASSERT_EQ(RunToolIn(dir.path(), "create plain.arj a.txt", &output), 0) << output;
  EXPECT_EQ(RunToolIn(dir.path(), "add --new-chapter plain.arj b.txt", &output), 2) << output;
  EXPECT_NE(output.find("not a chapter archive"), std::string::npos) << output;
}

TEST(ToolRebuildPeers, ArchivesMadeByArjTakeReplacementsAndAdditions) {
  REQUIRE_PEER("arj");
  REQUIRE_PEER("7zz");
  TempDir dir;
  fs::copy_file(SourcePath("tests/data/garbled.arj"), dir.File("g.arj"));
  Put(dir.path(), "plain.txt", MixedSample(20000, 6), nullptr);
  std::string said;
  ASSERT_EQ(RunToolIn(dir.path(), "replace g.arj text.txt=plain.txt", &said), 0) << said;
  EXPECT_NE(said.find("text.txt: was garbled; its new content is written ungarbled"), std::string::npos) << said;
  // The replaced entry is no longer garbled; the other still is.
  std::string output;
  EXPECT_EQ(RunArj(dir.path(), "t -gsecret " + Quote(dir.File("g.arj")), &output), 0) << output;

  fs::copy_file(SourcePath("tests/data/method4.arj"), dir.File("m.arj"));
  Tree expected = ReadTree(SourcePath("tests/data/src/mixed"));
  Put(dir.path(), "extra/new.bin", MixedSample(30000, 7), &expected);
  ASSERT_EQ(RunToolIn(dir.path(), "add m.arj extra/new.bin"), 0);
  ExpectPeersAgree(dir.File("m.arj"), expected);
}

// A rewrite does not carry ARJ-PROTECT data over (it covers the old
// bytes), and the new archive is not listed as protected: list agrees with
// arj t, which finds no protection data to speak of.
TEST(ToolRebuildPeers, ARewrittenProtectedArchiveIsNoLongerListedAsProtected) {
  REQUIRE_PEER("arj");
  TempDir dir;
  Put(dir.path(), "a.txt", MixedSample(5000, 1), nullptr);
  Put(dir.path(), "b.txt", MixedSample(5000, 2), nullptr);
  std::string output;
  ASSERT_EQ(RunArj(dir.path(), "a -hk p.arj a.txt b.txt", &output), 0) << output;
  ASSERT_EQ(RunToolStdout("list --json " + Quote(dir.File("p.arj")), &output), 0) << output;
  ASSERT_TRUE(JsonSatisfies(output, "d['protected']")) << output;
  ASSERT_EQ(RunToolIn(dir.path(), "delete p.arj a.txt", &output), 0) << output;
  EXPECT_NE(output.find("ARJ-PROTECT data is not carried over"), std::string::npos) << output;
  ASSERT_EQ(RunToolIn(dir.path(), "list p.arj", &output), 0) << output;
  EXPECT_EQ(output.find("Protected"), std::string::npos) << output;
  ASSERT_EQ(RunToolStdout("list --json " + Quote(dir.File("p.arj")), &output), 0) << output;
  EXPECT_TRUE(JsonSatisfies(output, "not d['protected']")) << output;
  EXPECT_EQ(RunArj(dir.path(), "t p.arj", &output), 0) << output;
  EXPECT_EQ(output.find("ARJ-PROTECT"), std::string::npos) << output;
}

TEST(ToolRebuildSafety, AFailedRewriteLeavesTheArchiveAsItWas) {
  TempDir dir;
  fs::copy_file(SourcePath("tests/data/method1.arj"), dir.File("a.arj"));
  const Bytes before = ReadFile(dir.File("a.arj"));
  std::string output;
  EXPECT_NE(RunToolIn(dir.path(), "replace a.arj text.txt=missing.txt", &output), 0);
  EXPECT_NE(output.find("missing.txt"), std::string::npos) << output;
  fs::create_directory(dir.File("folder"));
  WriteFile(dir.File("folder/bad\x1bname"), "x");
  EXPECT_EQ(RunToolIn(dir.path(), "add a.arj folder", &output), 2) << "a name found under a folder is checked: " << output;
  EXPECT_EQ(RunToolIn(dir.path(), "add a.arj ../escape.txt", &output), 2) << output;
  EXPECT_EQ(RunToolIn(dir.path(), "add a.arj /etc/hostname", &output), 2) << output;
  WriteFile(dir.File("text.txt"), "older than the entry");
  const timespec long_ago[2] = {{315532800, 0}, {315532800, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.File("text.txt").c_str(), long_ago, 0), 0);
  EXPECT_EQ(RunToolIn(dir.path(), "add -u a.arj text.txt", &output), 0) << "an older file is not taken: " << output;
  EXPECT_EQ(RunToolIn(dir.path(), "delete a.arj no-such-entry", &output), 1) << output;
  EXPECT_EQ(ReadFile(dir.File("a.arj")), before);
  for (const auto& item : fs::directory_iterator(dir.path()))
    EXPECT_EQ(item.path().filename().string().find(".tmp-"), std::string::npos) << item.path();
}

TEST(ToolRebuildSafety, RefusesIncompleteSetsAndDamagedArchives) {
  TempDir dir;
  for (const char* name : {"split.arj", "split.a01", "badheader.arj"})
    fs::copy_file(SourcePath(std::string("tests/data/") + name), dir.File(name));
  std::string output;
  // A set missing a volume is refused; a whole one is written as a new set.
  EXPECT_EQ(RunToolIn(dir.path(), "delete split.arj small.txt", &output), 2);
  EXPECT_NE(output.find("incomplete"), std::string::npos) << output;
  fs::copy_file(SourcePath("tests/data/split.a02"), dir.File("split.a02"));
  EXPECT_EQ(RunToolIn(dir.path(), "delete split.arj small.txt", &output), 0) << output;
  EXPECT_EQ(RunToolIn(dir.path(), "test split.a01", &output), 0) << output;
  EXPECT_EQ(RunToolIn(dir.path(), "delete badheader.arj one.txt", &output), 2);
  EXPECT_NE(output.find("damaged"), std::string::npos) << output;
}

// arj's a makes the archive when it is not there and adds to it when it
// is; d deletes.
TEST(ToolRebuildSafety, ArjStyleAddMakesAMissingArchive) {
  TempDir dir;
  Put(dir.path(), "a.txt", ToBytes("first"), nullptr);
  Put(dir.path(), "b.txt", ToBytes("second"), nullptr);
  std::string output;
  ASSERT_EQ(RunToolIn(dir.path(), "a new.arj a.txt", &output), 0) << output;
  ASSERT_EQ(RunToolIn(dir.path(), "a new.arj b.txt", &output), 0) << output;
  ASSERT_EQ(RunToolIn(dir.path(), "d new.arj a.txt", &output), 0) << output;
  ASSERT_EQ(RunToolIn(dir.path(), "l new.arj", &output), 0) << output;
  EXPECT_NE(output.find(" b.txt\n1 file, 6 bytes"), std::string::npos) << output;
  EXPECT_EQ(output.find("a.txt"), std::string::npos) << output;
}

// A folder is stored whole: folder entries (empty ones too), links and
// FIFOs as arj -a1 stores them, a second name of a file as a hard link;
// both peers test it and arj makes the tree again.
TEST(ToolRebuildFolders, AFolderIsStoredWithItsLinksAndEmptyFolders) {
  REQUIRE_PEER("arj");
  REQUIRE_PEER("7zz");
  TempDir dir;
  Put(dir.path(), "tree/sub/file.txt", MixedSample(20000, 6), nullptr);
  Put(dir.path(), "tree/skip.log", ToBytes("left out"), nullptr);
  fs::create_directories(dir.File("tree/empty"));
  fs::create_symlink("sub/file.txt", dir.File("tree/link"));
  fs::create_symlink("no/such/file", dir.File("tree/dangling"));  // stored, never followed
  fs::create_hard_link(dir.File("tree/sub/file.txt"), dir.File("tree/second"));
  ASSERT_EQ(::mkfifo(dir.File("tree/fifo").c_str(), 0600), 0);
  std::string output;
  ASSERT_EQ(RunToolIn(dir.path(), "create out.arj tree -x '*.log'", &output), 0) << output;
  ASSERT_EQ(RunToolIn(dir.path(), "list -v out.arj", &output), 0) << output;
  for (const char* expected :
       {"Path = tree\nFolder = +", "Path = tree/empty\nFolder = +", "Path = tree/link\n",
        "Link Target = sub/file.txt", "Link Target = no/such/file", "Path = tree/fifo\n",
        "Link Target = tree/second"})  // the first name found (in name order) holds the data
    EXPECT_NE(output.find(expected), std::string::npos) << expected << "\n" << output;
  EXPECT_EQ(output.find("skip.log"), std::string::npos) << output;
  EXPECT_EQ(RunArj(".", "t " + Quote(dir.File("out.arj")), &output), 0) << output;
  EXPECT_EQ(Run7zz(".", "t " + Quote(dir.File("out.arj")), &output), 0) << output;
  TempDir by_arj;
  EXPECT_EQ(RunArj(by_arj.path(), "x " + Quote(dir.File("out.arj")), &output), 0) << output;
  EXPECT_TRUE(fs::is_directory(by_arj.File("tree/empty")));
  EXPECT_EQ(fs::read_symlink(by_arj.File("tree/link")), "sub/file.txt");
  EXPECT_EQ(fs::read_symlink(by_arj.File("tree/dangling")), "no/such/file");
  EXPECT_EQ(ReadFile(by_arj.File("tree/second")), ReadFile(dir.File("tree/sub/file.txt")));
  EXPECT_EQ(fs::hard_link_count(by_arj.File("tree/second")), 2u);
  EXPECT_TRUE(fs::is_fifo(by_arj.File("tree/fifo")));
  EXPECT_FALSE(fs::exists(by_arj.File("tree/skip.log")));

  // "." stores what the folder holds, never the archive being written.
  ASSERT_EQ(RunToolIn(dir.File("tree"), "a self.arj . -x fifo", &output), 0) << output;
  ASSERT_EQ(RunToolIn(dir.File("tree"), "a self.arj . -x fifo", &output), 0) << output;
  ASSERT_EQ(RunToolIn(dir.File("tree"), "list self.arj", &output), 0) << output;
  EXPECT_NE(output.find("- sub/file.txt\n"), std::string::npos) << output;
  EXPECT_EQ(output.find("- self.arj\n"), std::string::npos) << output;
  // A link target longer than its header takes is refused, by name.
  fs::create_symlink(std::string(1100, 'x'), dir.File("tree/long"));
  EXPECT_EQ(RunToolIn(dir.path(), "create long.arj tree", &output), 2) << output;
  EXPECT_NE(output.find("tree/long: its link target is empty or longer than 1024 bytes"), std::string::npos) << output;
  EXPECT_FALSE(fs::exists(dir.File("long.arj")));
}

// As arj a and 7zz a: add makes a missing archive, replaces an entry of
// the same name, and with -u only when the file is newer.
TEST(ToolRebuildAdd, AddCreatesAndReplacesAndUpdateTakesOnlyNewerFiles) {
  TempDir dir;
  std::string output;
  auto set_time = [&](const std::string& name, time_t when) { SetModifiedTime(dir.File(name), when); };
  Put(dir.path(), "a.txt", ToBytes("one"), nullptr);
  set_time("a.txt", 1600000000);
  const struct {
    const char* content;  // a.txt's, before the command
    time_t time;
    const char* command;
    const char* summary;  // what the command printed
    const char* listed;   // the stored content's size, in the listing
  } steps[] = {
      {"one", 1600000000, "add new.arj a.txt", "0 replaced, 1 added", "    3 "},
      {"fives", 1600000000, "add new.arj a.txt", "1 replaced, 0 added", "    5 "},
      {"older", 1500000000, "add -u new.arj a.txt", "nothing newer to add", "    5 "},
      {"newer!", 1700000000, "a -u new.arj a.txt", "1 replaced, 0 added", "    6 "},
      {"second", 1700000001, "a -u new.arj a.txt", "1 replaced, 0 added", "    6 "},  // a UNIX entry's time is exact
      {"same t", 1700000001, "a -u new.arj a.txt", "nothing newer to add", "    6 "},
  };
  for (const auto& step : steps) {
    Put(dir.path(), "a.txt", ToBytes(step.content), nullptr);
    set_time("a.txt", step.time);
    ASSERT_EQ(RunToolIn(dir.path(), step.command, &output), 0) << step.command << "\n" << output;
    EXPECT_NE(output.find(step.summary), std::string::npos) << step.command << "\n" << output;
    ASSERT_EQ(RunToolIn(dir.path(), "list new.arj", &output), 0) << output;
    EXPECT_NE(output.find(step.listed), std::string::npos) << step.command << "\n" << output;
    EXPECT_NE(output.find("(1 entry)"), std::string::npos) << step.command << "\n" << output;
  }
  Put(dir.path(), "b.txt", ToBytes("b"), nullptr);
  EXPECT_EQ(RunToolIn(dir.path(), "add new.arj b.txt b.txt", &output), 2) << output;
  EXPECT_NE(output.find("a second file for the entry \"b.txt\""), std::string::npos) << output;
}

// The method, the comments and the garbling a new or replaced entry gets:
// method 1 unless -m (whatever the archive's first entry, a folder when
// the archive was made from one; add -u too), the entry's own comment kept
// (as arj f keeps it), and a word that new entries of a garbled archive
// are not garbled.
TEST(ToolRebuildDefaults, MethodOneCommentsKeptAndUngarbledNewEntriesSaid) {
  TempDir dir;
  std::string output;
  auto method_one = [&](const std::string& archive, const std::string& name) {
    std::string listing;
    EXPECT_EQ(RunToolStdout("list --json " + Quote(dir.File(archive)), &listing), 0) << listing;
    return JsonSatisfies(listing, "[e['method'] for e in d['entries'] if e['name'] == '" + name + "'] == [1]");
  };
  Put(dir.path(), "tree/a.txt", MixedSample(30000, 1), nullptr);
  Put(dir.path(), "later.txt", MixedSample(30000, 2), nullptr);
  ASSERT_EQ(RunToolIn(dir.path(), "create t.arj tree", &output), 0) << output;
  ASSERT_EQ(RunToolIn(dir.path(), "add t.arj later.txt", &output), 0) << output;
  EXPECT_TRUE(method_one("t.arj", "later.txt")) << "after a folder entry";
  ASSERT_EQ(RunToolIn(dir.path(), "add t.arj later.txt=stored.txt -m 0", &output), 0) << output;
  Put(dir.path(), "later.txt", MixedSample(30001, 3), nullptr);
  const timespec later[2] = {{2000000000, 0}, {2000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.File("later.txt").c_str(), later, 0), 0);
  ASSERT_EQ(RunToolIn(dir.path(), "add -u t.arj later.txt=stored.txt", &output), 0) << output;
  EXPECT_TRUE(method_one("t.arj", "stored.txt")) << "add -u takes the default method, not the entry's";

  HeaderSpec noted = StoredEntry("noted.txt", "old");
  noted.comment = "kept note";
  WriteFile(dir.File("c.arj"), Concat({MainHeader(), BuildHeader(noted), EndMarker()}));
  time_t newer = 2000000100;
  for (const char* command : {"replace c.arj noted.txt=later.txt", "add -u c.arj later.txt=noted.txt"}) {
    SCOPED_TRACE(command);
    Put(dir.path(), "later.txt", MixedSample(30002, static_cast<uint32_t>(newer)), nullptr);
    const timespec times[2] = {{newer, 0}, {newer, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.File("later.txt").c_str(), times, 0), 0);
    newer += 100;
    ASSERT_EQ(RunToolIn(dir.path(), command, &output), 0) << output;
    EXPECT_NE(output.find("1 replaced"), std::string::npos) << output;
    ASSERT_EQ(RunToolStdout("list --json " + Quote(dir.File("c.arj")), &output), 0) << output;
    EXPECT_TRUE(JsonSatisfies(output, "d['entries'][0]['comment'] == 'kept note'")) << output;
    ASSERT_EQ(RunToolIn(dir.path(), "test c.arj", &output), 0) << output;
  }

  fs::copy_file(SourcePath("tests/data/garbled.arj"), dir.File("g.arj"));
  ASSERT_EQ(RunToolIn(dir.path(), "add g.arj later.txt", &output), 0) << output;
  EXPECT_NE(output.find("g.arj: holds garbled entries; the 1 new ones are written ungarbled"), std::string::npos)
      << output;
}

// What readers could not extract is refused before anything is written
// (exit code 2), naming the entry: a folder, link or label entry given a
// file's content, a name that runs through an entry that is not a folder,
// either way round.
TEST(ToolRebuildRefusals, EntryTypesAndPathsReadersCannotExtract) {
  TempDir dir;
  Put(dir.path(), "tree/file.txt", ToBytes("file"), nullptr);
  Put(dir.path(), "tree/sub/a.txt", ToBytes("a"), nullptr);
  fs::create_symlink("file.txt", dir.File("tree/link"));
  Put(dir.path(), "f.txt", ToBytes("new"), nullptr);
  std::string output;
  ASSERT_EQ(RunToolIn(dir.path(), "create x.arj tree", &output), 0) << output;
  const Bytes before = ReadFile(dir.File("x.arj"));
  const struct {
    const char* command;
    const char* said;
  } cases[] = {
      {"replace x.arj tree/sub=f.txt", "tree/sub: it is a directory entry"},
      {"replace x.arj tree/link=f.txt", "tree/link: it is a UNIX link or special file entry"},
      {"add x.arj f.txt=tree/file.txt/inner", "\"tree/file.txt/inner\" would lie under \"tree/file.txt\""},
      {"add x.arj f.txt=tree/link/inner", "\"tree/link/inner\" would lie under \"tree/link\""},
      {"add x.arj f.txt=tree/sub", "\"tree/sub/a.txt\" would lie under \"tree/sub\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    EXPECT_EQ(RunToolIn(dir.path(), c.command, &output), 2) << output;
    EXPECT_NE(output.find(c.said), std::string::npos) << output;
    EXPECT_EQ(ReadFile(dir.File("x.arj")), before);
  }
  EXPECT_TRUE(NoTemporaryFileIn(dir.path()));
}

// An existing entry that becomes a second name of a new file stands where
// it stood, ahead of the file's first name: it is stored as a file, since
// readers make a hard link only to what they already extracted.
TEST(ToolRebuildLinks, AHardLinkAheadOfItsTargetIsStoredAsAFile) {
  TempDir dir;
  std::string output;
  Put(dir.path(), "h/b", ToBytes("old"), nullptr);
  ASSERT_EQ(RunToolIn(dir.path(), "create x.arj h/b", &output), 0) << output;
  fs::remove(dir.File("h/b"));
  Put(dir.path(), "h/a", ToBytes("shared"), nullptr);
  fs::create_hard_link(dir.File("h/a"), dir.File("h/b"));
  ASSERT_EQ(RunToolIn(dir.path(), "add x.arj h", &output), 0) << output;
  ASSERT_EQ(RunToolIn(dir.path(), "list -v x.arj", &output), 0) << output;
  EXPECT_EQ(output.find("Link Target"), std::string::npos) << output;
  TempDir ours;
  ASSERT_EQ(RunToolIn(ours.path(), "extract " + Quote(dir.File("x.arj")), &output), 0) << output;
  EXPECT_EQ(ReadTree(ours.path()), (Tree{{"h/a", ToBytes("shared")}, {"h/b", ToBytes("shared")}}));
  REQUIRE_PEER("arj");
  REQUIRE_PEER("7zz");
  ExpectPeersAgree(dir.File("x.arj"), {{"h/a", ToBytes("shared")}, {"h/b", ToBytes("shared")}});
}

// The exit code says what became of the archive: 0 when it was rewritten
// (a pattern that took nothing only named, as arj d does not even name
// it) or removed once emptied (arj d: "Deleting empty archive"); 1 when
// nothing was written, the archive left as it was or not made.
TEST(ToolRebuildOutcomes, ExitCodesSayWhetherTheArchiveWasRewrittenRemovedOrLeft) {
  TempDir dir;
  fs::copy_file(SourcePath("tests/data/method1.arj"), dir.File("a.arj"));
  const Bytes before = ReadFile(dir.File("a.arj"));
  fs::create_directories(dir.File("sub"));
  Put(dir.path(), "sub/x.o", ToBytes("object"), nullptr);
  const struct {
    const char* command;
    int code;
    const char* said;
    bool a_left;  // a.arj is as it was
  } cases[] = {
      {"delete a.arj '*' -o out.arj", 1, "out.arj: not written: it would hold no entries", true},
      {"add a.arj a.arj", 1, "a.arj: the archive is not stored in itself", true},
      {"add a.arj sub -x '*.o' -x sub", 1, "nothing to add: every file named is left out", true},
      {"create none.arj sub -x sub", 1, "none.arj: nothing to add: every file named is left out; nothing is written", true},
      // Standard input names no file to write; a comment alone no archive.
      {"add - sub/x.o", 2, "-: an archive from standard input can be listed, tested and extracted, not rewritten",
       true},
      {"create - sub/x.o", 2, "not rewritten", true},
      {"delete a.arj one.txt -o -", 2, "not rewritten", true},
      {"add none.arj --comment hi", 1, "none.arj: not written: it does not exist, and a comment alone makes no archive",
       true},
      {"delete a.arj one.txt nomatch", 0, "no entry matches \"nomatch\"", false},
      {"delete a.arj '*'", 0, "the archive is removed", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    std::string output;
    EXPECT_EQ(RunToolIn(dir.path(), c.command, &output), c.code) << output;
    EXPECT_NE(output.find(c.said), std::string::npos) << output;
    if (c.a_left) {
      EXPECT_EQ(ReadFile(dir.File("a.arj")), before);
    }
  }
  EXPECT_FALSE(fs::exists(dir.File("a.arj")));
  EXPECT_FALSE(fs::exists(dir.File("out.arj")));
  EXPECT_FALSE(fs::exists(dir.File("none.arj")));
  EXPECT_FALSE(fs::exists(dir.File("-")));
  EXPECT_TRUE(NoTemporaryFileIn(dir.path()));
}

TEST(ToolRebuildSafety, OutputElsewhereLeavesTheSourceAlone) {
  TempDir dir;
  fs::copy_file(SourcePath("tests/data/method2.arj"), dir.File("a.arj"));
  const Bytes before = ReadFile(dir.File("a.arj"));
  std::string output;
  ASSERT_EQ(RunToolIn(dir.path(), "delete a.arj one.txt -o b.arj", &output), 0) << output;
  EXPECT_EQ(ReadFile(dir.File("a.arj")), before);
  EXPECT_EQ(RunToolIn(dir.path(), "list b.arj", &output), 0);
  EXPECT_EQ(output.find("one.txt"), std::string::npos) << output;
  EXPECT_EQ(RunToolIn(dir.path(), "create a.arj one.txt", &output), 2) << "create never overwrites: " << output;
}

// a.txt, b.txt and c.txt (with an extended header), stored.
struct ThreeEntries {
  Bytes main = MainHeader();
  Bytes a = BuildHeader(StoredEntry("a.txt", "alpha"));
  Bytes b = BuildHeader(StoredEntry("b.txt", "bravo"));
  Bytes c = [] {
    HeaderSpec entry = StoredEntry("c.txt", "charlie");
    entry.extended = {Bytes(10, 0x11)};
    return BuildHeader(entry);
  }();
  size_t AtB() const { return main.size() + a.size(); }
  size_t AtC() const { return AtB() + b.size(); }
  Bytes Whole() const { return Concat({main, a, b, c, EndMarker()}); }
};

// A header that fails its CRC is never copied: the rewrite is refused, and
// says that --recover reads what is left; with --recover it writes the
// sound entries only, and the peers take what it wrote. Damaged data is
// copied as it is, with a notice.
TEST(ToolRebuildDamage, HeadersFailingTheirCrcAreRefusedOrLeftOutWithRecover) {
  REQUIRE_PEER("arj");
  REQUIRE_PEER("7zz");
  const ThreeEntries t;
  const size_t c_extended = t.AtC() + 4 + LoadWord(t.c.data() + 2) + 4 + 2;
  struct Case {
    const char* what;
    size_t offset;  // of the byte spoiled
    std::vector<std::string> left;  // after deleting a.txt with --recover
  };
  for (const Case& c : {Case{"main header", 12, {"b.txt", "c.txt"}}, Case{"local header", t.AtB() + 12, {"c.txt"}},
                        Case{"extended header", c_extended + 3, {"b.txt"}}}) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    Bytes damaged = t.Whole();
    damaged[c.offset] ^= 0x40;
    WriteFile(dir.File("d.arj"), damaged);
    std::string output;
    EXPECT_EQ(RunToolIn(dir.path(), "delete d.arj a.txt", &output), 2) << output;
    EXPECT_NE(output.find("fails its CRC"), std::string::npos) << output;
    EXPECT_NE(output.find("--recover reads what is left"), std::string::npos) << output;
    EXPECT_EQ(RunToolIn(dir.path(), "add d.arj d.arj=copy.arj", &output), 2) << output;
    EXPECT_EQ(ReadFile(dir.File("d.arj")), damaged);

    ASSERT_EQ(RunToolIn(dir.path(), "delete d.arj a.txt --recover -o out.arj", &output), 0) << output;
    Tree expected;
    for (const std::string& name : c.left) expected[name] = ToBytes(name == "b.txt" ? "bravo" : "charlie");
    ExpectPeersAgree(dir.File("out.arj"), expected);
    EXPECT_TRUE(NoTemporaryFileIn(dir.path()));
  }
  TempDir dir;
  Bytes damaged = t.Whole();
  damaged[t.AtB() - 1] ^= 0x40;  // the last byte of a.txt's data
  WriteFile(dir.File("d.arj"), damaged);
  std::string output;
  ASSERT_EQ(RunToolIn(dir.path(), "delete d.arj b.txt -o kept.arj", &output), 0) << output;
  EXPECT_NE(output.find("a.txt: its data fails its CRC; copied as it is"), std::string::npos) << output;
  ASSERT_EQ(RunToolIn(dir.path(), "delete d.arj a.txt", &output), 0) << output;
  ExpectPeersAgree(dir.File("d.arj"), {{"b.txt", ToBytes("bravo")}, {"c.txt", ToBytes("charlie")}});
}

// --test tests every entry of the new archive before it replaces the old
// one (arj -jt): a damaged entry copied as it is, stored or packed, fails
// it, and the archive stays as it was (exit code 1); a sound rewrite
// passes it.
TEST(ToolRebuildTestAfterWriting, AFailingTestLeavesTheOldArchive) {
  REQUIRE_PEER("arj");
  const ThreeEntries t;
  TempDir dir;
  Bytes damaged = t.Whole();
  damaged[t.AtB() - 1] ^= 0x40;  // the last byte of a.txt's data
  WriteFile(dir.File("d.arj"), damaged);
  Put(dir.path(), "new.txt", MixedSample(20000, 7), nullptr);
  std::string output;
  for (const char* command : {"delete d.arj b.txt --test", "add d.arj new.txt -t", "replace d.arj c.txt=new.txt --test"}) {
    SCOPED_TRACE(command);
    EXPECT_EQ(RunToolIn(dir.path(), command, &output), 1) << output;
    EXPECT_NE(output.find("d.arj: not written: the new archive fails its test: a.txt: "), std::string::npos) << output;
    EXPECT_EQ(ReadFile(dir.File("d.arj")), damaged);
    EXPECT_TRUE(NoTemporaryFileIn(dir.path()));
  }
  // Packed data is copied unread (by the kernel where it can): its damage
  // is the test's to find, and a delete without --test copies it as arj d
  // does.
  Bytes packed = DataFile("method1.arj");
  const ParsedArchive parsed = ParseArchive(packed);
  size_t victim = 0;
  while (victim < parsed.entries.size() && parsed.entries[victim].method() == 0) ++victim;
  ASSERT_LT(victim, parsed.entries.size());
  packed[parsed.entries[victim].data_offset + parsed.entries[victim].packed.size() / 2] ^= 0x40;
  WriteFile(dir.File("p.arj"), packed);
  const std::string other = parsed.entries[victim == 0 ? 1 : 0].name;
  EXPECT_EQ(RunToolIn(dir.path(), "delete p.arj " + other + " --test", &output), 1) << output;
  EXPECT_NE(output.find("p.arj: not written: the new archive fails its test: " + parsed.entries[victim].name),
            std::string::npos) << output;
  EXPECT_EQ(ReadFile(dir.File("p.arj")), packed);
  EXPECT_TRUE(NoTemporaryFileIn(dir.path()));
  ASSERT_EQ(RunToolIn(dir.path(), "delete p.arj " + other, &output), 0) << output;
  EXPECT_EQ(output.find("fails its CRC"), std::string::npos) << output;

  ASSERT_EQ(RunToolIn(dir.path(), "delete d.arj a.txt --test", &output), 0) << output;
  ASSERT_EQ(RunToolIn(dir.path(), "replace d.arj b.txt=new.txt --test", &output), 0) << output;
  ASSERT_EQ(RunToolIn(dir.path(), "create n.arj new.txt --test -m 4", &output), 0) << output;
  ExpectPeersAgree(dir.File("d.arj"), {{"b.txt", ReadFile(dir.File("new.txt"))}, {"c.txt", ToBytes("charlie")}});
  ExpectPeersAgree(dir.File("n.arj"), {{"new.txt", ReadFile(dir.File("new.txt"))}});
}

// add --freshen (arj f) replaces only entries whose file is newer and adds
// nothing; add --move (arj m) removes what it stored once the new archive
// stands, and nothing when the rewrite fails; arj judges what is written.
TEST(ToolRebuildFreshenMove, FreshenTakesNewerEntriesOnlyMoveRemovesWhatWasStored) {
  REQUIRE_PEER("arj");
  TempDir dir;
  std::string output;
  auto set_time = [&](const std::string& name, time_t when) { SetModifiedTime(dir.File(name), when); };
  Put(dir.path(), "old.txt", ToBytes("old"), nullptr);
  Put(dir.path(), "new.txt", ToBytes("new"), nullptr);
  set_time("old.txt", 1600000000);
  set_time("new.txt", 1600000000);
  ASSERT_EQ(RunToolIn(dir.path(), "create f.arj old.txt new.txt", &output), 0) << output;
  Put(dir.path(), "old.txt", ToBytes("older"), nullptr);
  Put(dir.path(), "new.txt", ToBytes("newer"), nullptr);
  Put(dir.path(), "extra.txt", ToBytes("extra"), nullptr);
  set_time("old.txt", 1500000000);
  set_time("new.txt", 1700000000);
  EXPECT_EQ(RunToolIn(dir.path(), "add --freshen f.arj extra.txt", &output), 0) << output;
  EXPECT_NE(output.find("nothing newer to add"), std::string::npos) << output;
  ASSERT_EQ(RunToolIn(dir.path(), "add -f f.arj old.txt new.txt extra.txt", &output), 0) << output;
  EXPECT_NE(output.find("0 dropped, 1 replaced, 0 added"), std::string::npos) << output;
  ExpectPeersAgree(dir.File("f.arj"), {{"old.txt", ToBytes("old")}, {"new.txt", ToBytes("newer")}});

  // Moved: what was stored goes, what --freshen passed over stays.
  Put(dir.path(), "new.txt", ToBytes("newest"), nullptr);
  set_time("new.txt", 1800000000);
  ASSERT_EQ(RunToolIn(dir.path(), "add --freshen --move f.arj old.txt new.txt", &output), 0) << output;
  EXPECT_FALSE(fs::exists(dir.File("new.txt")));
  EXPECT_TRUE(fs::exists(dir.File("old.txt")));
  Put(dir.path(), "sub/in.txt", ToBytes("inside"), nullptr);
  ASSERT_EQ(RunToolIn(dir.path(), "add --move f.arj extra.txt sub", &output), 0) << output;
  EXPECT_FALSE(fs::exists(dir.File("extra.txt")));
  EXPECT_FALSE(fs::exists(dir.File("sub/in.txt")));
  EXPECT_TRUE(fs::is_directory(dir.File("sub"))) << "folders stay";
  Tree expected = {{"old.txt", ToBytes("old")}, {"new.txt", ToBytes("newest")}, {"extra.txt", ToBytes("extra")},
                   {"sub/in.txt", ToBytes("inside")}};
  ExpectPeersAgree(dir.File("f.arj"), expected);

  // A rewrite whose test fails removes nothing.
  const ThreeEntries t;
  Bytes damaged = t.Whole();
  damaged[t.AtB() - 1] ^= 0x40;
  WriteFile(dir.File("d.arj"), damaged);
  Put(dir.path(), "kept.txt", ToBytes("kept"), nullptr);
  EXPECT_EQ(RunToolIn(dir.path(), "add --move d.arj kept.txt", &output), 1) << output;
  EXPECT_NE(output.find("fails its test"), std::string::npos) << output;
  EXPECT_TRUE(fs::exists(dir.File("kept.txt")));
  EXPECT_EQ(ReadFile(dir.File("d.arj")), damaged);
}

// A file that changed after it was noted, or was put in its place, is not
// removed by --move, and is named.
TEST(ToolRebuildFreshenMove, AChangedSourceIsNotRemoved) {
  TempDir dir;
  Put(dir.path(), "same.txt", ToBytes("same"), nullptr);
  Put(dir.path(), "grown.txt", ToBytes("grown"), nullptr);
  Put(dir.path(), "swapped.txt", ToBytes("swapped"), nullptr);
  arjhost::ChangeSet changes;
  for (const char* name : {"same.txt", "grown.txt", "swapped.txt"}) changes.added.emplace_back(dir.File(name), name);
  arjhost::NewContent folder(dir.path(), "folder");
  folder.kind = arjhost::ContentKind::kFolder;
  changes.added.push_back(folder);
  const cli::MovedSources moved(changes);
  Put(dir.path(), "grown.txt", ToBytes("grown more"), nullptr);
  Put(dir.path(), "other.txt", ToBytes("swapped"), nullptr);
  fs::rename(dir.File("other.txt"), dir.File("swapped.txt"));
  EXPECT_EQ(moved.RemoveAll("add"), 1);
  EXPECT_FALSE(fs::exists(dir.File("same.txt")));
  EXPECT_TRUE(fs::exists(dir.File("grown.txt")));
  EXPECT_TRUE(fs::exists(dir.File("swapped.txt")));
  EXPECT_TRUE(fs::is_directory(dir.path()));
  EXPECT_NE(cli::LastError().find("swapped.txt: not removed: it changed since it was read"), std::string::npos);

  // A signal during the removals stops them, and each file left is named.
  Put(dir.path(), "same.txt", ToBytes("same"), nullptr);
  const cli::MovedSources moved_again(changes);
  sigset_t term, previous;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &term, &previous), 0);
  ::raise(SIGTERM);
  EXPECT_EQ(moved_again.RemoveAll("add"), 1);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  EXPECT_TRUE(fs::exists(dir.File("same.txt")));
  EXPECT_NE(cli::LastError().find("not removed: a signal came first"), std::string::npos);
}

// --comment and --entry-comment on every rewrite: written where arj writes
// them (arj v shows them, arj and 7zz test the archive), on archives of
// ours and of arj's making, for kept, replaced and added entries; ''
// removes one; a comment that does not fit its header, or a NAME that is
// no entry, is refused (exit code 2) with nothing written.
TEST(ToolRebuildComments, CommentsAreWrittenAsArjShowsThem) {
  REQUIRE_PEER("arj");
  REQUIRE_PEER("7zz");
  TempDir dir;
  Tree expected;
  Put(dir.path(), "a.txt", ToBytes("alpha"), &expected);
  Put(dir.path(), "b.txt", ToBytes("bravo"), &expected);
  Put(dir.path(), "note.txt", ToBytes("from a file\r\nsecond line"), nullptr);
  std::string output;
  auto shown = [&](const std::string& archive) {
    std::string listing;
    EXPECT_EQ(RunArj(dir.path(), "v " + archive, &listing), 0) << listing;
    return listing;
  };
  ASSERT_EQ(RunToolIn(dir.path(), "create c.arj a.txt --comment @note.txt --entry-comment a.txt=first-note", &output),
            0)
      << output;
  std::string listing = shown("c.arj");
  EXPECT_NE(listing.find("from a file\r\nsecond line"), std::string::npos) << listing;
  EXPECT_NE(listing.find("a.txt\nfirst-note"), std::string::npos) << listing;
  ExpectPeersAgree(dir.File("c.arj"), {{"a.txt", ToBytes("alpha")}});

  ASSERT_EQ(RunToolIn(dir.path(), "add c.arj b.txt --entry-comment b.txt=added-note --entry-comment a.txt= "
                                  "--comment 'archive note'", &output), 0) << output;
  listing = shown("c.arj");
  EXPECT_NE(listing.find("archive note\nSequence"), std::string::npos) << listing;  // arj's line end
  EXPECT_EQ(listing.find("first-note"), std::string::npos) << listing;
  EXPECT_NE(listing.find("b.txt\nadded-note"), std::string::npos) << listing;
  ExpectPeersAgree(dir.File("c.arj"), expected);

  // An archive of arj's making: its longer headers keep their fields.
  std::string made;
  ASSERT_EQ(RunArj(dir.path(), "a arj.arj -znote.txt a.txt b.txt", &made), 0) << made;
  ASSERT_EQ(RunToolIn(dir.path(), "replace arj.arj b.txt=a.txt --entry-comment b.txt=replaced-note "
                                  "--entry-comment a.txt=kept-note", &output), 0) << output;
  listing = shown("arj.arj");
  EXPECT_NE(listing.find("from a file"), std::string::npos) << listing;
  EXPECT_NE(listing.find("a.txt\nkept-note"), std::string::npos) << listing;
  EXPECT_NE(listing.find("b.txt\nreplaced-note"), std::string::npos) << listing;
  ExpectPeersAgree(dir.File("arj.arj"), {{"a.txt", ToBytes("alpha")}, {"b.txt", ToBytes("alpha")}});
  ASSERT_EQ(RunToolIn(dir.path(), "add arj.arj --comment ''", &output), 0) << output;
  EXPECT_EQ(shown("arj.arj").find("from a file"), std::string::npos);

  const Bytes before = ReadFile(dir.File("c.arj"));
  const std::string too_long(2600, 'c');
  for (const std::string& command :
       std::vector<std::string>{"add c.arj --comment " + too_long, "delete c.arj a.txt --entry-comment b.txt=" + too_long,
        "add c.arj --entry-comment none.txt=x", "add c.arj --comment @missing.txt"}) {
    SCOPED_TRACE(command.substr(0, 60));
    EXPECT_EQ(RunToolIn(dir.path(), command, &output), 2) << output;
    EXPECT_EQ(ReadFile(dir.File("c.arj")), before);
  }
  EXPECT_NE(output.find("missing.txt: the comment cannot be read"), std::string::npos) << output;
  RunToolIn(dir.path(), "add c.arj --comment " + too_long, &output);
  EXPECT_NE(output.find("the archive: the comment (2601 bytes) does not fit an ARJ header"), std::string::npos)
      << output;
}

// Garbled entries (-p, or -g typed twice on a terminal) as arj -g writes
// them: arj tests and extracts them with the password, by every method;
// an archive holding garbled entries lends its password, checked on one of
// them before anything is written (a wrong one is refused, exit code 2).
TEST(ToolRebuildGarble, NewEntriesAreGarbledAsArjGarblesThem) {
  REQUIRE_PEER("arj");
  TempDir dir;
  Tree expected;
  Put(dir.path(), "text.txt", MixedSample(60000, 1), &expected);
  Put(dir.path(), "random.bin", RandomSample(9000, 2), &expected);
  Put(dir.path(), "empty.txt", {}, &expected);
  std::string output;
  for (int method = 0; method <= 4; ++method) {
    SCOPED_TRACE(method);
    const std::string archive = "m" + std::to_string(method) + ".arj";
    ASSERT_EQ(RunToolIn(dir.path(), "create " + archive + " text.txt random.bin empty.txt -p secret -m " +
                                        std::to_string(method), &output), 0) << output;
    ExpectPeersAgree(dir.File(archive), expected, "secret");
    ASSERT_EQ(RunToolStdout("list --json " + Quote(dir.File(archive)), &output), 0) << output;
    EXPECT_TRUE(JsonSatisfies(output, "all(e['garbled'] for e in d['entries'])")) << output;
  }

  // arj's garbled archive: our entries join its own under its password.
  std::string made;
  ASSERT_EQ(RunArj(dir.path(), "a arj.arj -gsecret text.txt", &made), 0) << made;
  const Bytes before = ReadFile(dir.File("arj.arj"));
  EXPECT_EQ(RunToolIn(dir.path(), "add arj.arj random.bin -p wrong", &output), 2) << output;
  EXPECT_NE(output.find("the password does not open its garbled entry text.txt; nothing is written"),
            std::string::npos) << output;
  EXPECT_EQ(ReadFile(dir.File("arj.arj")), before);
  ASSERT_EQ(RunToolIn(dir.path(), "add arj.arj random.bin empty.txt -p secret --test", &output), 0) << output;
  ASSERT_EQ(RunToolIn(dir.path(), "replace arj.arj text.txt=random.bin -p secret", &output), 0) << output;
  const Bytes text = expected["text.txt"];
  expected["text.txt"] = expected["random.bin"];
  ExpectPeersAgree(dir.File("arj.arj"), expected, "secret");

  // Typed on a terminal: twice for a new archive, once for a garbled one.
  EXPECT_EQ(RunToolOnTerminal(dir.path(), "create t.arj text.txt -g",
                              {{"garble the new entries with: ", "typed"}, {"same password again: ", "typed"}},
                              &output), 0) << output;
  ExpectPeersAgree(dir.File("t.arj"), {{"text.txt", text}}, "typed");
  EXPECT_EQ(RunToolOnTerminal(dir.path(), "add t.arj empty.txt", {{"(garbles the new entries): ", "typed"}}, &output),
            0) << output;
  ExpectPeersAgree(dir.File("t.arj"), {{"text.txt", text}, {"empty.txt", {}}}, "typed");
  EXPECT_EQ(RunToolOnTerminal(dir.path(), "create u.arj text.txt -g",
                              {{"garble the new entries with: ", "one"}, {"same password again: ", "other"}},
                              &output), 2) << output;
  EXPECT_NE(output.find("the two passwords typed differ"), std::string::npos) << output;
  EXPECT_FALSE(fs::exists(dir.File("u.arj")));
  EXPECT_EQ(RunToolIn(dir.path(), "create u.arj text.txt -g", &output), 2) << output;
  EXPECT_NE(output.find("give -p PASSWORD"), std::string::npos) << output;
  EXPECT_FALSE(fs::exists(dir.File("u.arj")));
}

// A garbled file larger than a volume is split as arj -v -g splits it:
// each part garbled by itself; rewriting such a set takes the password.
TEST(ToolRebuildGarble, GarbledFilesAreSplitOverVolumesAsArjSplitsThem) {
  REQUIRE_PEER("arj");
  TempDir dir;
  Tree expected;
  Put(dir.path(), "random.bin", RandomSample(30000, 2), &expected);
  Put(dir.path(), "text.txt", MixedSample(50000, 1), &expected);
  std::string output;
  for (const char* method : {"0", "1", "4"}) {
    SCOPED_TRACE(method);
    TempDir set;
    ASSERT_EQ(RunToolIn(dir.path(), "create " + Quote(set.File("g.arj")) + " random.bin text.txt -p pw --volume-size 10K -m " +
                                        method, &output), 0) << output;
    EXPECT_EQ(RunArj(set.path(), "t -v -gpw g.arj", &output), 0) << output;
    TempDir by_arj;
    EXPECT_EQ(RunArj(by_arj.path(), "x -v -gpw " + Quote(set.File("g.arj")), &output), 0) << output;
    EXPECT_EQ(ReadTree(by_arj.path()), expected);
    EXPECT_EQ(RunToolIn(set.path(), "test g.a01 -p pw", &output), 0) << output;
    // Rewritten: the password opens it, or nothing is written.
    EXPECT_EQ(RunToolIn(set.path(), "delete g.arj text.txt", &output), 1) << output;
    EXPECT_NE(output.find("random.bin: a garbled file split over volumes is rewritten only with its password"),
              std::string::npos) << output;
    EXPECT_EQ(RunToolIn(set.path(), "delete g.arj text.txt -p wrong", &output), 1) << output;
    EXPECT_NE(output.find("the password does not open its garbled entry"), std::string::npos) << output;
    ASSERT_EQ(RunToolIn(set.path(), "delete g.arj text.txt -p pw --volume-size 12K", &output), 0) << output;
    TempDir again;
    EXPECT_EQ(RunArj(again.path(), "x -v -gpw " + Quote(set.File("g.arj")), &output), 0) << output;
    EXPECT_EQ(ReadTree(again.path()), (Tree{{"random.bin", expected["random.bin"]}}));
    // One archive made a set by delete: its -p splits the garbled file too.
    TempDir single;
    ASSERT_EQ(RunToolIn(dir.path(), "create " + Quote(single.File("one.arj")) + " random.bin text.txt -p pw -m " + method,
                        &output), 0) << output;
    ASSERT_EQ(RunToolIn(single.path(), "delete one.arj text.txt -p pw --volume-size 10K", &output), 0) << output;
    EXPECT_TRUE(fs::exists(single.File("one.a01")));
    TempDir from_single;
    EXPECT_EQ(RunArj(from_single.path(), "x -v -gpw " + Quote(single.File("one.arj")), &output), 0) << output;
    EXPECT_EQ(ReadTree(from_single.path()), (Tree{{"random.bin", expected["random.bin"]}}));
  }
}

// @FILE operands name files (add, create), patterns (delete) and NAME=FILE
// (replace), one a line: CR LF ends a line too, empty lines are skipped,
// "./@x" names a file "@x", and an "@" inside a list is a name. A list that
// cannot be read is refused before anything is written (exit code 2).
TEST(ToolRebuildLists, AtFileOperandsAreListsOfNames) {
  REQUIRE_PEER("arj");
  TempDir dir;
  Tree expected;
  Put(dir.path(), "a.txt", ToBytes("alpha"), &expected);
  Put(dir.path(), "b c.txt", ToBytes("with a space"), &expected);
  Put(dir.path(), "@x", ToBytes("at"), &expected);
  Put(dir.path(), "@y", ToBytes("at in a list"), &expected);
  Put(dir.path(), "names.txt", ToBytes("a.txt\r\n\r\nb c.txt\n@y\n\n"), nullptr);
  std::string output;
  ASSERT_EQ(RunToolIn(dir.path(), "create l.arj @names.txt ./@x", &output), 0) << output;
  ExpectPeersAgree(dir.File("l.arj"), expected);

  Put(dir.path(), "gone.txt", ToBytes("a.t*\n"), nullptr);
  Put(dir.path(), "swap.txt", ToBytes("@x=b c.txt\r\n"), nullptr);
  ASSERT_EQ(RunToolIn(dir.path(), "delete l.arj @gone.txt", &output), 0) << output;
  ASSERT_EQ(RunToolIn(dir.path(), "replace l.arj @swap.txt", &output), 0) << output;
  expected.erase("a.txt");
  expected["@x"] = ToBytes("with a space");
  ExpectPeersAgree(dir.File("l.arj"), expected);

  const Bytes before = ReadFile(dir.File("l.arj"));
  fs::create_directories(dir.File("folder"));
  Put(dir.path(), "binary", Bytes{'a', 0, 'b'}, nullptr);
  for (const char* command : {"add l.arj @missing.txt", "add l.arj @folder", "add l.arj @binary",
                              "delete l.arj @missing.txt"}) {
    SCOPED_TRACE(command);
    EXPECT_EQ(RunToolIn(dir.path(), command, &output), 2) << output;
    EXPECT_NE(output.find("the list of names cannot be read"), std::string::npos) << output;
    EXPECT_EQ(ReadFile(dir.File("l.arj")), before);
  }
}

// An added or replaced entry keeps its file's mode and time, as a UNIX
// entry, whatever the first entry (here arj's, mode 0755) says.
TEST(ToolRebuildModes, NewEntriesKeepTheirFilesModeAndTime) {
  REQUIRE_PEER("arj");
  REQUIRE_PEER("7zz");
  TempDir dir;
  Put(dir.path(), "first.txt", ToBytes("first\n"), nullptr);
  ::chmod(dir.File("first.txt").c_str(), 0755);
  std::string output;
  ASSERT_EQ(RunArj(dir.path(), "a a.arj first.txt", &output), 0) << output;
  struct Case {
    std::string command;
    mode_t mode;
  };
  for (const Case& c : {Case{"add a.arj f751.bin", 0751}, Case{"add a.arj f644.bin", 0644},
                        Case{"replace a.arj first.txt=f600.bin", 0600}}) {
    SCOPED_TRACE(c.command);
    const std::string file = c.command.substr(c.command.find_last_of(" =") + 1);
    Put(dir.path(), file, MixedSample(3000, c.mode), nullptr);
    ::chmod(dir.File(file).c_str(), c.mode);
    const timespec times[2] = {{1600000000, 0}, {1600000000, 0}};
    ::utimensat(AT_FDCWD, dir.File(file).c_str(), times, 0);
    ASSERT_EQ(RunToolIn(dir.path(), c.command, &output), 0) << output;
    const ParsedArchive w = ParseArchive(ReadFile(dir.File("a.arj")));
    const ParsedEntry& e = c.command.rfind("add", 0) == 0 ? w.entries.back() : w.entries.front();
    EXPECT_EQ(LoadWord(e.fixed.data() + 30), 0x1000 | c.mode);
    EXPECT_EQ(e.fixed[7], 2);
    EXPECT_EQ(e.flags(), 0);
    EXPECT_EQ(e.Field32(12), 1600000000u);
    std::string tested;
    EXPECT_EQ(RunArj(dir.path(), "t a.arj", &tested), 0) << tested;
    EXPECT_EQ(Run7zz(dir.path(), "t a.arj", &tested), 0) << tested;
  }
}

// Names other tools would take for more than a relative name are refused
// before anything is written, each with its reason.
TEST(ToolRebuildNames, HostileStoredNamesAreRefused) {
  TempDir dir;
  fs::copy_file(SourcePath("tests/data/method1.arj"), dir.File("a.arj"));
  const Bytes before = ReadFile(dir.File("a.arj"));
  Put(dir.path(), "f.txt", ToBytes("f"), nullptr);
  struct Case {
    std::string stored;
    const char* reason;
  };
  for (const Case& c : {Case{"C:evil.txt", "drive letter"}, Case{"a\\\\b.txt", "backslash"},
                        Case{"x$(printf '\\001')y", "control character"}, Case{"/abs.txt", "absolute path"},
                        Case{"a/../../up.txt", "\"..\""}, Case{std::string(3000, 'n'), "too long for an ARJ header"}}) {
    SCOPED_TRACE(c.reason);
    std::string output;
    EXPECT_NE(RunToolIn(dir.path(), "add a.arj f.txt=" + c.stored, &output), 0) << output;
    EXPECT_NE(output.find(c.reason), std::string::npos) << output;
    EXPECT_EQ(output.find("0x8"), std::string::npos) << "no result code in hex: " << output;
  }
  EXPECT_EQ(ReadFile(dir.File("a.arj")), before);
  EXPECT_TRUE(NoTemporaryFileIn(dir.path()));
}

// A self-extracting archive keeps its program: the rewrite goes after the
// same stub, and the peers still find the archive behind it.
TEST(ToolRebuildSafety, ASelfExtractingArchiveKeepsItsStub) {
  REQUIRE_PEER("arj");
  REQUIRE_PEER("7zz");
  TempDir dir;
  Bytes stub(3000, 0x90);
  stub[0] = 'M', stub[1] = 'Z';
  WriteFile(dir.File("sfx.exe"), Concat({stub, DataFile("method1.arj")}));
  Tree expected = ReadTree(SourcePath("tests/data/src/mixed"));
  expected.erase("one.txt");
  Put(dir.path(), "added.txt", MixedSample(5000, 9), &expected);
  std::string output;
  ASSERT_EQ(RunToolIn(dir.path(), "delete sfx.exe one.txt", &output), 0) << output;
  ASSERT_EQ(RunToolIn(dir.path(), "add sfx.exe added.txt", &output), 0) << output;
  const Bytes written = ReadFile(dir.File("sfx.exe"));
  EXPECT_EQ(Bytes(written.begin(), written.begin() + static_cast<long>(stub.size())), stub);
  ExpectPeersAgree(dir.File("sfx.exe"), expected);
}

// -o OUT never writes through a link nor takes a target's mode; an archive
// named through a link is rewritten where the link points; no new archive
// is set-user-ID.
TEST(ToolRebuildSafety, LinksAndModesOfTheDestination) {
  TempDir dir;
  fs::copy_file(SourcePath("tests/data/method1.arj"), dir.File("real.arj"));
  fs::create_symlink("real.arj", dir.File("link.arj"));
  std::string output;
  ASSERT_EQ(RunToolIn(dir.path(), "delete link.arj one.txt", &output), 0) << output;
  EXPECT_TRUE(fs::is_symlink(dir.File("link.arj")));
  EXPECT_EQ(RunToolIn(dir.path(), "list real.arj", &output), 0);
  EXPECT_EQ(output.find("one.txt"), std::string::npos) << output;

  WriteFile(dir.File("setuid"), ToBytes("keep me"));
  ::chmod(dir.File("setuid").c_str(), 04755);
  fs::create_symlink("setuid", dir.File("out.arj"));
  ASSERT_EQ(RunToolIn(dir.path(), "delete real.arj text.txt -o out.arj", &output), 0) << output;
  EXPECT_FALSE(fs::is_symlink(dir.File("out.arj")));
  EXPECT_EQ(ReadFile(dir.File("setuid")), ToBytes("keep me"));
  struct stat st;
  ASSERT_EQ(::stat(dir.File("out.arj").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07000, 0u);

  ::chmod(dir.File("real.arj").c_str(), 06755);
  ASSERT_EQ(RunToolIn(dir.path(), "delete real.arj zeros.bin", &output), 0) << output;
  ASSERT_EQ(::stat(dir.File("real.arj").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
}

// Starts `arjhost ARGS` in `dir` with the signals at their defaults (a
// shell's background job would ignore SIGINT), sends `signal_number` once
// a file whose name holds `marker` appears there, and returns the exit
// code; -1 when the command ended first.
int InterruptTool(const std::string& dir, const std::vector<std::string>& args, const std::string& marker,
                  int signal_number) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(120);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, SIG_DFL);
    std::vector<std::string> words = {Tool()};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(121);
  }
  int status = 0;
  for (int i = 0; i < 20000; ++i) {
    if (::waitpid(pid, &status, WNOHANG) == pid) return -1;
    bool seen = false;
    for (const auto& item : fs::directory_iterator(dir))
      seen = seen || item.path().filename().string().find(marker) != std::string::npos;
    if (seen) break;
    ::usleep(500);
  }
  ::kill(pid, signal_number);
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

TEST(ToolRebuildSignals, RemoveTheTemporaryFileAndExitWith128PlusTheSignal) {
  TempDir dir;
  Bytes noise(24 << 20);
  uint32_t x = 1;
  for (uint8_t& b : noise) b = static_cast<uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
  WriteFile(dir.File("big.bin"), noise);
  // Noise is stored whatever the method: -m 0 spares packing it first.
  ASSERT_EQ(RunToolIn(dir.path(), "create big.arj big.bin -m 0"), 0);
  fs::copy_file(SourcePath("tests/data/method1.arj"), dir.File("a.arj"));
  const Bytes before = ReadFile(dir.File("a.arj"));
  struct Case {
    std::vector<std::string> args;
    const char* marker;
    int signal_number;
  };
  for (const Case& c : {Case{{"add", "a.arj", "big.bin", "-m", "4"}, ".tmp-", SIGINT},
                        Case{{"add", "a.arj", "big.bin", "-m", "1"}, ".tmp-", SIGTERM},
                        Case{{"add", "a.arj", "big.bin", "-m", "0"}, ".tmp-", SIGHUP},
                        Case{{"extract", "../big.arj"}, ".part", SIGINT},
                        // A set's volumes under way, past any fixed table.
                        Case{{"add", "a.arj", "big.bin", "-m", "0", "--volume-size", "10K"}, "a.a40.tmp-", SIGTERM}}) {
    SCOPED_TRACE(c.args[0] + " " + std::to_string(c.signal_number));
    const bool extracting = c.args[0] == "extract";
    fs::create_directories(dir.File("out"));
    const int code = InterruptTool(extracting ? dir.File("out") : dir.path(), c.args, c.marker, c.signal_number);
    if (code == -1) GTEST_SKIP() << "the command ended before it could be interrupted";
    EXPECT_EQ(code, 128 + c.signal_number);
    EXPECT_TRUE(NoTemporaryFileIn(dir.path()));
    EXPECT_TRUE(fs::is_empty(dir.File("out"))) << "no .part file is left";
    EXPECT_EQ(ReadFile(dir.File("a.arj")), before);
  }
}

// A signal that lands once the new archive is in place (or the emptied one
// removed) undoes nothing and ends nothing half done: the command says
// the change stands and exits 0; before that point it exits 128 + the
// signal, the archive as it was. Run in a child, with the tool's handler.
TEST(ToolRebuildSignals, OnceTheChangeIsMadeASignalSaysSoAndExitsZero) {
  // The mark lasts for the process: the children must start without it.
  if (arjhost::ChangeMade()) GTEST_SKIP() << "a rewrite earlier in this process made its change";
  TempDir dir;
  fs::copy_file(SourcePath("tests/data/method1.arj"), dir.File("a.arj"));
  const Bytes before = ReadFile(dir.File("a.arj"));
  for (const bool rewrite : {false, true}) {
    SCOPED_TRACE(rewrite);
    int err[2];
    ASSERT_EQ(::pipe(err), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::dup2(err[1], STDERR_FILENO);
      cli::RemovePendingFilesOnSignals();
      cli::SetNoticeOnceChanged("the change stands\n");
      if (rewrite) {
        arjhost::Host host;
        if (!host.LoadPlugin(BuildPath("libarj_plugin.so")).ok()) ::_exit(120);
        arjhost::OpenResult opened = arjhost::Archive::OpenFile(host, dir.File("a.arj"), {});
        arjhost::ChangeSet changes;
        changes.dropped.insert(arjhost::EntryHandle(1));
        if (!opened.ok() || !opened.archive->Rebuild(changes, dir.File("a.arj")).ok()) ::_exit(121);
      }
      ::raise(SIGTERM);
      ::_exit(122);
    }
    ::close(err[1]);
    std::string said;
    char buffer[256];
    for (ssize_t n; (n = ::read(err[0], buffer, sizeof buffer)) > 0;) said.append(buffer, static_cast<size_t>(n));
    ::close(err[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), rewrite ? 0 : 128 + SIGTERM);
    EXPECT_EQ(said, rewrite ? "the change stands\n" : "");
    EXPECT_EQ(ReadFile(dir.File("a.arj")) == before, !rewrite);
  }
}

// A full disk fails the rewrite in words, and leaves the archive as it was.
TEST(ToolRebuildSafety, AFullDiskIsNamedAndLeavesTheArchive) {
  TempDir dir;
  const std::string small = dir.File("small");
  fs::create_directories(small);
  std::string output;
  if (::geteuid() != 0 || RunCommand("mount -t tmpfs -o size=256k tmpfs " + Quote(small), &output) != 0)
    GTEST_SKIP() << "a small file system cannot be mounted here (needs root): " << output;
  fs::copy_file(SourcePath("tests/data/method1.arj"), small + "/a.arj");
  const Bytes before = ReadFile(small + "/a.arj");
  WriteFile(dir.File("big.bin"), Bytes(1 << 20, 0x5A));
  const int code = RunToolIn(small, "add a.arj " + Quote(dir.File("big.bin")) + "=big.bin -m 0", &output);
  EXPECT_EQ(code, 1) << output;
  EXPECT_NE(output.find("No space left on device"), std::string::npos) << output;
  EXPECT_EQ(output.find("0x8"), std::string::npos) << output;
  EXPECT_EQ(ReadFile(small + "/a.arj"), before);
  EXPECT_TRUE(NoTemporaryFileIn(small));
  RunCommand("umount " + Quote(small), &output);
}

// Another writer's change (seen in the size or time at the end) must not
// be lost under our rename, nor ours under theirs: the rewrite fails.
TEST(ToolRebuildSafety, AnArchiveChangedDuringTheRewriteIsNotReplaced) {
  TempDir dir;
  fs::copy_file(SourcePath("tests/data/method1.arj"), dir.File("a.arj"));
  Put(dir.path(), "new.txt", ToBytes("new"), nullptr);
  arjhost::Host host;
  ASSERT_TRUE(IsOk(host.LoadPlugin(BuildPath("libarj_plugin.so"))));
  arjhost::OpenResult opened = arjhost::Archive::OpenFile(host, dir.File("a.arj"), {});
  ASSERT_TRUE(IsOk(opened.status));
  arjhost::ChangeSet changes;
  changes.added.push_back({dir.File("new.txt"), "new.txt", -1});
  Bytes changed = ReadFile(dir.File("a.arj"));
  changed.push_back(0);
  const arjhost::Status written = opened.archive->Rebuild(
      changes, dir.File("a.arj"), [&](size_t, size_t, const std::string&) { WriteFile(dir.File("a.arj"), changed); });
  EXPECT_EQ(written.code, arjhost::Code::kChanged) << written.message;
  EXPECT_NE(written.message.find("changed while it was being rewritten"), std::string::npos) << written.message;
  EXPECT_EQ(ReadFile(dir.File("a.arj")), changed);
  EXPECT_TRUE(NoTemporaryFileIn(dir.path()));
}

// A file swapped after it was listed (by the walk, or else when the
// rewrite starts) for a link to another file, a FIFO without a writer or
// another file is not read: the rewrite fails naming it, whether packed
// ahead or not, and nothing waits on the FIFO.
TEST(ToolRebuildSafety, AFileSwappedAfterItWasListedIsNotRead) {
  struct Swap {
    const char* what;
    std::function<void(const std::string& path, const std::string& secret)> apply;
  };
  const Swap swaps[] = {
      {"a link to another file",
       [](const std::string& path, const std::string& secret) {
         fs::remove(path);
         fs::create_symlink(secret, path);
       }},
      {"a FIFO", [](const std::string& path, const std::string&) {
         fs::remove(path);
         ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
       }},
      {"another file", [](const std::string& path, const std::string& secret) { fs::rename(secret, path); }},
  };
  arjhost::Host host;
  ASSERT_TRUE(IsOk(host.LoadPlugin(BuildPath("libarj_plugin.so"))));
  for (const Swap& swap : swaps) {
    for (bool walked : {true, false}) {
      for (int method : {0, 1}) {
        SCOPED_TRACE(std::string(swap.what) + (walked ? ", listed by a walk" : ", listed at the start") +
                     ", method " + std::to_string(method));
        TempDir dir;
        fs::copy_file(SourcePath("tests/data/method1.arj"), dir.File("a.arj"));
        const Bytes before = ReadFile(dir.File("a.arj"));
        Put(dir.path(), "big.bin", MixedSample(3 << 19, 2), nullptr);
        Put(dir.path(), "secret", ToBytes("not to be stored"), nullptr);
        arjhost::NewContent content(dir.File("big.bin"), "big.bin", method);
        if (walked) {
          struct stat st;
          ASSERT_EQ(::lstat(content.path.c_str(), &st), 0);
          content.file_device = st.st_dev;
          content.file_inode = st.st_ino;
          content.follow_link = false;
        }
        arjhost::ChangeSet changes;
        changes.added.push_back(content);
        arjhost::OpenResult opened = arjhost::Archive::OpenFile(host, dir.File("a.arj"), {});
        ASSERT_TRUE(IsOk(opened.status));
        const arjhost::Status written = opened.archive->Rebuild(
            changes, dir.File("a.arj"),
            [&](size_t, size_t, const std::string& path) { swap.apply(path, dir.File("secret")); });
        EXPECT_EQ(written.code, arjhost::Code::kChanged) << written.message;
        EXPECT_NE(written.message.find("big.bin: replaced since it was listed"), std::string::npos) << written.message;
        EXPECT_EQ(ReadFile(dir.File("a.arj")), before);
        EXPECT_TRUE(NoTemporaryFileIn(dir.path()));
      }
    }
  }
}

}  // namespace
}  // namespace testing_support
