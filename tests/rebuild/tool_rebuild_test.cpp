// arjhost delete, replace, add and create as a user runs them: every
// archive they write passes both peers' tests, and both peers extract
// exactly the files we put in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "tests/rebuild/rebuild_harness.h"

namespace testing_support {
namespace {

namespace fs = std::filesystem;
using Tree = std::map<std::string, Bytes>;

bool Installed(const std::string& tool) {
  std::string ignored;
  return RunCommand("command -v " + tool, &ignored) == 0;
}

bool InCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

#define REQUIRE_PEERS()                                                              \
  do {                                                                               \
    for (const char* tool : {"arj", "7zz"})                                          \
      if (!Installed(tool)) {                                                        \
        if (InCi()) FAIL() << tool << " is missing";                                 \
        GTEST_SKIP() << tool << " is not installed; peer checks skipped";            \
      }                                                                              \
  } while (0)

std::string Quote(const std::string& s) { return "'" + s + "'"; }

int Tool(const std::string& dir, const std::string& arguments, std::string* output = nullptr) {
  std::string ignored;
  return RunCommand("cd " + Quote(dir) + " && " + Quote(BuildPath("arjhost")) + " " + arguments,
                    output != nullptr ? output : &ignored);
}

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
  EXPECT_EQ(RunCommand("arj t -y" + garble + " " + Quote(archive) + " </dev/null", &output), 0) << output;
  if (password.empty()) {
    EXPECT_EQ(RunCommand("7zz t " + Quote(archive) + " </dev/null", &output), 0) << output;
  }
  TempDir by_arj, by_7zz;
  EXPECT_EQ(RunCommand("cd " + Quote(by_arj.path()) + " && arj x -y" + garble + " " + Quote(archive) + " </dev/null",
                       &output),
            0)
      << output;
  EXPECT_EQ(ReadTree(by_arj.path()), expected) << "as arj extracts " << archive;
  if (password.empty()) {
    EXPECT_EQ(RunCommand("7zz x -y -o" + Quote(by_7zz.path()) + " " + Quote(archive) + " </dev/null", &output), 0)
        << output;
    EXPECT_EQ(ReadTree(by_7zz.path()), expected) << "as 7zz extracts " << archive;
  }
}

class ToolRebuild : public ::testing::TestWithParam<int> {};

TEST_P(ToolRebuild, CreateAddReplaceDeleteAllSatisfyThePeers) {
  REQUIRE_PEERS();
  const std::string m = std::to_string(GetParam());
  TempDir dir;
  Tree expected;
  Put(dir.path(), "text.txt", MixedSample(60000, 1), &expected);
  Put(dir.path(), "sub/dir/nested.bin", MixedSample(200000, 2), &expected);
  Put(dir.path(), "empty.txt", {}, &expected);
  Bytes noise(40000);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  Put(dir.path(), "noise.bin", noise, &expected);
  // Packed ahead by the workers in chunks joined into one stream.
  Put(dir.path(), "big.bin", MixedSample(5u << 19, 6), &expected);
  Put(dir.path(), "random.bin", NoiseSample(70000), &expected);
  const std::string archive = dir.File("out.arj");

  ASSERT_EQ(Tool(dir.path(), "create out.arj text.txt ./sub/dir/nested.bin empty.txt noise.bin big.bin random.bin -m " + m), 0);
  ExpectPeersAgree(archive, expected);
  // What packing would not make smaller is stored, as arj stores it.
  std::string listing;
  ASSERT_EQ(Tool(dir.path(), "list out.arj --json", &listing), 0);
  for (const char* name : {"empty.txt", "random.bin"}) {
    const size_t at = listing.find(std::string("\"name\": \"") + name + "\"");
    ASSERT_NE(at, std::string::npos) << listing;
    EXPECT_NE(listing.find("\"method\": 0", at), std::string::npos) << name;
    EXPECT_LT(listing.find("\"method\": 0", at), listing.find("}", at)) << name;
  }

  Put(dir.path(), "later.txt", MixedSample(5000, 3), &expected);
  Put(dir.path(), "source.txt", MixedSample(3000, 4), nullptr);
  expected["stored/as.txt"] = ReadFile(dir.File("source.txt"));
  ASSERT_EQ(Tool(dir.path(), "add out.arj later.txt source.txt=stored/as.txt -m " + m), 0);
  ExpectPeersAgree(archive, expected);

  Put(dir.path(), "replacement.txt", MixedSample(90000, 5), nullptr);
  expected["text.txt"] = ReadFile(dir.File("replacement.txt"));
  ASSERT_EQ(Tool(dir.path(), "replace out.arj text.txt=replacement.txt"), 0);
  ExpectPeersAgree(archive, expected);

  expected.erase("noise.bin");
  expected.erase("empty.txt");
  expected.erase("big.bin");
  expected.erase("random.bin");
  ASSERT_EQ(Tool(dir.path(), "delete out.arj noise.bin empty.txt big.bin random.bin"), 0);
  ExpectPeersAgree(archive, expected);
  EXPECT_FALSE(fs::exists(dir.File("noise.bin.tmp"))) << "no temporary file is left";
}

INSTANTIATE_TEST_SUITE_P(Methods, ToolRebuild, ::testing::Values(0, 1, 2, 3, 4));

TEST(ToolRebuildPeers, ArchivesMadeByArjTakeReplacementsAndAdditions) {
  REQUIRE_PEERS();
  TempDir dir;
  fs::copy_file(SourcePath("tests/data/garbled.arj"), dir.File("g.arj"));
  Put(dir.path(), "plain.txt", MixedSample(20000, 6), nullptr);
  ASSERT_EQ(Tool(dir.path(), "replace g.arj text.txt=plain.txt"), 0);
  // The replaced entry is no longer garbled; the other still is.
  std::string output;
  EXPECT_EQ(RunCommand("arj t -y -gsecret " + Quote(dir.File("g.arj")) + " </dev/null", &output), 0) << output;

  fs::copy_file(SourcePath("tests/data/method4.arj"), dir.File("m.arj"));
  Tree expected = ReadTree(SourcePath("tests/data/src/mixed"));
  Put(dir.path(), "extra/new.bin", MixedSample(30000, 7), &expected);
  ASSERT_EQ(Tool(dir.path(), "add m.arj extra/new.bin"), 0);
  ExpectPeersAgree(dir.File("m.arj"), expected);
}

TEST(ToolRebuildSafety, AFailedRewriteLeavesTheArchiveAsItWas) {
  TempDir dir;
  fs::copy_file(SourcePath("tests/data/method1.arj"), dir.File("a.arj"));
  const Bytes before = ReadFile(dir.File("a.arj"));
  std::string output;
  EXPECT_NE(Tool(dir.path(), "replace a.arj text.txt=missing.txt", &output), 0);
  EXPECT_NE(output.find("missing.txt"), std::string::npos) << output;
  fs::create_directory(dir.File("folder"));
  EXPECT_EQ(Tool(dir.path(), "add a.arj folder", &output), 1) << output;
  EXPECT_EQ(Tool(dir.path(), "add a.arj ../escape.txt", &output), 2) << output;
  EXPECT_EQ(Tool(dir.path(), "add a.arj /etc/hostname", &output), 2) << output;
  EXPECT_EQ(Tool(dir.path(), "add a.arj text.txt", &output), 2) << "an entry of that name is there: " << output;
  EXPECT_EQ(Tool(dir.path(), "delete a.arj no-such-entry", &output), 1) << output;
  EXPECT_EQ(ReadFile(dir.File("a.arj")), before);
  for (const auto& item : fs::directory_iterator(dir.path()))
    EXPECT_EQ(item.path().filename().string().find(".tmp-"), std::string::npos) << item.path();
}

TEST(ToolRebuildSafety, RefusesMultiVolumeAndDamagedArchives) {
  TempDir dir;
  for (const char* name : {"split.arj", "split.a01", "split.a02", "badheader.arj"})
    fs::copy_file(SourcePath(std::string("tests/data/") + name), dir.File(name));
  std::string output;
  EXPECT_EQ(Tool(dir.path(), "delete split.arj small.txt", &output), 2);
  EXPECT_NE(output.find("multi-volume"), std::string::npos) << output;
  EXPECT_EQ(Tool(dir.path(), "delete badheader.arj one.txt", &output), 2);
  EXPECT_NE(output.find("damaged"), std::string::npos) << output;
}

TEST(ToolRebuildSafety, OutputElsewhereLeavesTheSourceAlone) {
  TempDir dir;
  fs::copy_file(SourcePath("tests/data/method2.arj"), dir.File("a.arj"));
  const Bytes before = ReadFile(dir.File("a.arj"));
  std::string output;
  ASSERT_EQ(Tool(dir.path(), "delete a.arj one.txt -o b.arj", &output), 0) << output;
  EXPECT_EQ(ReadFile(dir.File("a.arj")), before);
  EXPECT_EQ(Tool(dir.path(), "list b.arj", &output), 0);
  EXPECT_EQ(output.find("one.txt"), std::string::npos) << output;
  EXPECT_EQ(Tool(dir.path(), "create a.arj one.txt", &output), 2) << "create never overwrites: " << output;
}

}  // namespace
}  // namespace testing_support
