// arjhost delete, replace, add and create as a user runs them: every
// archive they write passes both peers' tests, and both peers extract
// exactly the files we put in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "tests/support/bytes.h"
#include "tests/support/commands.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"
#include "tests/support/sample_data.h"
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

void Put(const std::string& dir, const std::string& name, const Bytes& content, Tree* expected) {
  fs::create_directories(fs::path(dir + "/" + name).parent_path());
  WriteFile(dir + "/" + name, content);
  if (expected != nullptr) (*expected)[name] = content;
}

// Both peers test the archive and extract exactly `expected` from it.
void ExpectPeersAgree(const std::string& archive, const Tree& expected, const std::string& password = "") {
  std::string output;
  const std::string garble = password.empty() ? "" : " -g" + password;
  EXPECT_EQ(RunArj(".", "t" + garble + " " + Quote(archive), &output), 0) << output;
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
  const std::string archive = dir.File("out.arj");

  ASSERT_EQ(RunToolIn(dir.path(), "create out.arj text.txt ./sub/dir/nested.bin empty.txt noise.bin -m " + m), 0);
  ExpectPeersAgree(archive, expected);

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
  ASSERT_EQ(RunToolIn(dir.path(), "delete out.arj noise.bin empty.txt"), 0);
  ExpectPeersAgree(archive, expected);
  EXPECT_FALSE(fs::exists(dir.File("noise.bin.tmp"))) << "no temporary file is left";
}

INSTANTIATE_TEST_SUITE_P(Methods, ToolRebuild, ::testing::Values(0, 1, 2, 3, 4));

TEST(ToolRebuildPeers, ArchivesMadeByArjTakeReplacementsAndAdditions) {
  REQUIRE_PEER("arj");
  REQUIRE_PEER("7zz");
  TempDir dir;
  fs::copy_file(SourcePath("tests/data/garbled.arj"), dir.File("g.arj"));
  Put(dir.path(), "plain.txt", MixedSample(20000, 6), nullptr);
  ASSERT_EQ(RunToolIn(dir.path(), "replace g.arj text.txt=plain.txt"), 0);
  // The replaced entry is no longer garbled; the other still is.
  std::string output;
  EXPECT_EQ(RunArj(dir.path(), "t -gsecret " + Quote(dir.File("g.arj")), &output), 0) << output;

  fs::copy_file(SourcePath("tests/data/method4.arj"), dir.File("m.arj"));
  Tree expected = ReadTree(SourcePath("tests/data/src/mixed"));
  Put(dir.path(), "extra/new.bin", MixedSample(30000, 7), &expected);
  ASSERT_EQ(RunToolIn(dir.path(), "add m.arj extra/new.bin"), 0);
  ExpectPeersAgree(dir.File("m.arj"), expected);
}

TEST(ToolRebuildSafety, AFailedRewriteLeavesTheArchiveAsItWas) {
  TempDir dir;
  fs::copy_file(SourcePath("tests/data/method1.arj"), dir.File("a.arj"));
  const Bytes before = ReadFile(dir.File("a.arj"));
  std::string output;
  EXPECT_NE(RunToolIn(dir.path(), "replace a.arj text.txt=missing.txt", &output), 0);
  EXPECT_NE(output.find("missing.txt"), std::string::npos) << output;
  fs::create_directory(dir.File("folder"));
  EXPECT_EQ(RunToolIn(dir.path(), "add a.arj folder", &output), 1) << output;
  EXPECT_EQ(RunToolIn(dir.path(), "add a.arj ../escape.txt", &output), 2) << output;
  EXPECT_EQ(RunToolIn(dir.path(), "add a.arj /etc/hostname", &output), 2) << output;
  EXPECT_EQ(RunToolIn(dir.path(), "add a.arj text.txt", &output), 2) << "an entry of that name is there: " << output;
  EXPECT_EQ(RunToolIn(dir.path(), "delete a.arj no-such-entry", &output), 1) << output;
  EXPECT_EQ(ReadFile(dir.File("a.arj")), before);
  for (const auto& item : fs::directory_iterator(dir.path()))
    EXPECT_EQ(item.path().filename().string().find(".tmp-"), std::string::npos) << item.path();
}

TEST(ToolRebuildSafety, RefusesMultiVolumeAndDamagedArchives) {
  TempDir dir;
  for (const char* name : {"split.arj", "split.a01", "split.a02", "badheader.arj"})
    fs::copy_file(SourcePath(std::string("tests/data/") + name), dir.File(name));
  std::string output;
  EXPECT_EQ(RunToolIn(dir.path(), "delete split.arj small.txt", &output), 2);
  EXPECT_NE(output.find("multi-volume"), std::string::npos) << output;
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

}  // namespace
}  // namespace testing_support
