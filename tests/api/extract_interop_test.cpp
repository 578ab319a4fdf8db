// Archives freshly made by arj, of every method, garbled and in volumes,
// extract through our tool to exactly the original files.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "tests/support/bytes.h"
#include "tests/support/commands.h"
#include "tests/support/files.h"
#include "tests/support/peers.h"
#include "tests/support/tool_runner.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

void MakeFiles(const std::string& dir) {
  std::mt19937 rng(99);
  const size_t sizes[] = {0, 1, 3, 777, 26624, 26625, 90000};
  int n = 0;
  for (size_t size : sizes) {
    Bytes b(size);
    int kind = n % 3;
    for (size_t i = 0; i < size; ++i)
      b[i] = kind == 0   ? static_cast<uint8_t>("the quick brown fox "[rng() % 20])
             : kind == 1 ? static_cast<uint8_t>(rng())
                         : static_cast<uint8_t>((i / 97) & 0xFF);
    WriteFile(dir + "/f" + std::to_string(n++) + ".dat", b);
  }
  fs::create_directories(dir + "/deeper/still");
  WriteFile(dir + "/deeper/still/leaf.txt", ToBytes("leaf\n"));
}

void ExpectExtractsToSource(const std::string& archive, const std::string& source, const std::string& extra) {
  TempDir out;
  std::string log;
  ASSERT_EQ(RunTool("extract " + Quote(archive) + " -C " + out.path() + " " + extra, &log), 0) << archive << "\n" << log;
  for (const auto& e : fs::recursive_directory_iterator(source)) {
    if (!e.is_regular_file()) continue;
    std::string rel = fs::relative(e.path(), source).string();
    EXPECT_EQ(ReadFile(out.File(rel)), ReadFile(e.path().string())) << archive << ": " << rel;
  }
}

TEST(ExtractInterop, EveryMethodGarbledOrNotAndMultiVolume) {
  REQUIRE_PEER("arj");
  TempDir dir;
  std::string src = dir.File("src");
  fs::create_directories(src);
  MakeFiles(src);
  int n = 0;
  for (const char* options : {"-m0", "-m1", "-m2", "-m3", "-m4", "-m1 -gsecret", "-m4 -gsecret", "-m0 -gsecret"}) {
    std::string archive = dir.File("a" + std::to_string(n++) + ".arj");
    ASSERT_EQ(RunArj(src, std::string("a -r ") + options + " '" + archive + "' '*'"), 0) << options;
    ExpectExtractsToSource(archive, src, "-p secret");
  }
  for (const char* options : {"-m0 -v30k", "-m1 -v20k", "-m4 -v25k -gsecret"}) {
    TempDir set;
    std::string archive = set.File("set.arj");
    ASSERT_EQ(RunArj(src, std::string("a -r ") + options + " '" + archive + "' '*'"), 0) << options;
    ASSERT_TRUE(fs::exists(set.File("set.a02"))) << options << ": at least three volumes";
    ExpectExtractsToSource(archive, src, "-p secret");
    ExpectExtractsToSource(set.File("set.a01"), src, "-p secret");
  }
}

}  // namespace
