// arjhost repair as a user runs it, and against arj q: an archive arj
// protected (arj a -hk) damaged at every block of a seeded run, repaired
// by us and by arj; both must give back the archive's own bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "tests/support/files.h"
#include "tests/support/peers.h"
#include "tests/support/sanitizers.h"
#include "tests/support/tool_runner.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

constexpr size_t kBlock = 1024;
constexpr size_t kRecord = 6 + 4096;

// One damage a block: a run of 1 byte to the whole block, zeroed or random.
Bytes Damaged(const Bytes& archive, size_t block, std::mt19937& random) {
  Bytes out = archive;
  const size_t protected_length = archive.size() - kRecord;
  const size_t start = block * kBlock;
  const size_t room = std::min(kBlock, protected_length - start);
  const size_t from = start + random() % room;
  const size_t length = 1 + random() % (start + room - from);
  const bool zeros = random() % 2 == 0;
  for (size_t i = from; i < from + length; ++i)
    out[i] = zeros ? 0 : static_cast<uint8_t>(out[i] ^ (1 + random() % 255));
  if (out == archive) out[from] ^= 1;  // zeros over zeros: damage it still
  return out;
}

TEST(RepairCommand, RebuildsEveryBlockOfArjsRecord) {
  const Bytes original = DataFile("protected.arj");
  const size_t blocks = (original.size() - kRecord + kBlock - 1) / kBlock;
  TempDir dir;
  std::mt19937 random(3301);
  for (size_t block = 0; block < blocks; ++block) {
    SCOPED_TRACE("block " + std::to_string(block));
    const Bytes damaged = Damaged(original, block, random);
    WriteFile(dir.File("d.arj"), damaged);
    std::string out;
    ASSERT_EQ(RunTool("repair " + dir.File("d.arj"), &out), 0) << out;
    EXPECT_NE(out.find("block " + std::to_string(block) + " "), std::string::npos) << out;
    EXPECT_EQ(ReadFile(dir.File("d.repaired.arj")), original);
    EXPECT_EQ(ReadFile(dir.File("d.arj")), damaged);  // never changed in place
    fs::remove(dir.File("d.repaired.arj"));
  }
}

TEST(RepairCommand, SaysWhatItCouldNotDo) {
  const Bytes original = DataFile("protected.arj");
  TempDir dir;
  struct Case {
    const char* what;
    Bytes bytes;
    std::string args;
    int exit_code;
    const char* says;
  };
  Bytes three = original;
  three[100] ^= 1;
  three[5000] ^= 1;
  three[9000] ^= 1;
  Bytes record_hit = original;
  record_hit[original.size() - 10] ^= 1;  // the second header's checks
  const Case cases[] = {
      {"sound", original, "", 0, "nothing to repair"},
      {"three blocks", three, "", 1, "damaged blocks 0, 4, 8: 3 blocks are damaged"},
      {"no record", DataFile("method1.arj"), "", 1, "no ARJ-PROTECT record"},
      {"over itself", three, " -o " + dir.File("a.arj"), 2, "must not replace the archive"},
      {"two archives", original, " " + dir.File("a.arj"), 2, "give one archive"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(dir.File("a.arj"), c.bytes);
    std::string out;
    EXPECT_EQ(RunTool("repair " + dir.File("a.arj") + c.args, &out), c.exit_code) << out;
    EXPECT_NE(out.find(c.says), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(dir.File("a.repaired.arj")));
    EXPECT_EQ(ReadFile(dir.File("a.arj")), c.bytes);
  }
  // A damaged record over sound data is written anew.
  WriteFile(dir.File("a.arj"), record_hit);
  std::string out;
  EXPECT_EQ(RunTool("repair " + dir.File("a.arj"), &out), 0) << out;
  EXPECT_NE(out.find("its ARJ-PROTECT record was damaged; written anew"), std::string::npos) << out;
  EXPECT_EQ(ReadFile(dir.File("a.repaired.arj")), original);
}

// Both repairs of `original` damaged at every block (and at a second,
// seeded one): arj q's and ours give back its bytes, and arj tests them
// sound. Under the sanitizers ours alone: arj's side does not depend on
// the build.
void RepairBothWays(const Bytes& original, uint32_t seed) {
  const size_t blocks = (original.size() - kRecord + kBlock - 1) / kBlock;
  TempDir dir;
  std::mt19937 random(seed);
  for (size_t block = 0; block < blocks; ++block)
    for (bool second : {false, true}) {
      SCOPED_TRACE("block " + std::to_string(block) + (second ? " and another" : ""));
      Bytes damaged = Damaged(original, block, random);
      if (second) damaged = Damaged(damaged, (block + 1 + random() % (blocks - 1)) % blocks, random);
      WriteFile(dir.File("d.arj"), damaged);
      if (!kUnderSanitizers) {
        fs::remove(dir.File("arjfixed.arj"));
        ASSERT_LE(RunArj(dir.path(), "q d.arj"), 1);
        EXPECT_EQ(ReadFile(dir.File("arjfixed.arj")), original);
      }
      std::string out;
      ASSERT_EQ(RunTool("repair " + dir.File("d.arj") + " -o " + dir.File("ours.arj"), &out), 0) << out;
      if (!kUnderSanitizers) {
        EXPECT_EQ(RunArj(dir.path(), "t ours.arj"), 0);
      }
      EXPECT_EQ(ReadFile(dir.File("ours.arj")), original);
    }
}

TEST(RepairCommand, RepairsArjsArchivesAsArjQDoes) {
  REQUIRE_PEER("arj");
  RepairBothWays(DataFile("protected.arj"), 3302);
}

// create --protect writes a record arj reads and repairs with.
TEST(RepairCommand, ArjRepairsOurProtectedArchives) {
  REQUIRE_PEER("arj");
  TempDir dir;
  std::string out;
  for (const char* method : {"0", "1"}) {
    SCOPED_TRACE(std::string("method ") + method);
    const std::string made = dir.File(std::string("ours") + method + ".arj");
    ASSERT_EQ(RunToolIn(Data("src"), "create " + made + " -m " + method + " --protect mixed twenty", &out), 0)
        << out;
    const Bytes ours = ReadFile(made);
    ASSERT_EQ(RunArj(dir.path(), "t " + made, &out), 0) << out;
    EXPECT_NE(out.find("ARJ-PROTECT enabled (1x)"), std::string::npos) << out;  // the factor in the main header
    ASSERT_EQ(RunTool("test " + made, &out), 0) << out;
    RepairBothWays(ours, 3303);
  }
  // add --protect writes the record anew, rather than saying it is lost.
  const std::string made = dir.File("ours1.arj");
  ASSERT_EQ(RunToolIn(Data("src"), "add " + made + " --protect comment.txt", &out), 0) << out;
  EXPECT_EQ(out.find("not carried over"), std::string::npos) << out;
  EXPECT_EQ(RunTool("repair " + made, &out), 0) << out;
  EXPECT_NE(out.find("nothing to repair"), std::string::npos) << out;
  EXPECT_EQ(RunArj(dir.path(), "t " + made, &out), 0) << out;
  // Only factor 1 is written, and not to a volume set.
  EXPECT_EQ(RunToolIn(Data("src"), "create " + dir.File("f2.arj") + " --protect=2 mixed", &out), 2) << out;
  EXPECT_NE(out.find("only factor 1"), std::string::npos) << out;
  EXPECT_EQ(RunToolIn(Data("src"), "create " + dir.File("v.arj") + " --protect --volume-size 10K mixed", &out), 1)
      << out;
  EXPECT_NE(out.find("not written to a volume set"), std::string::npos) << out;
}

// --recover reads a protected archive as its record rebuilds it: every
// file back, a notice, exit code 0; beyond the record, what is sound.
TEST(RepairCommand, RecoverReadsTheArchiveAsTheRecordRebuildsIt) {
  const Bytes original = DataFile("protected.arj");
  TempDir dir;
  Bytes two = original, three = original;
  for (size_t at : {size_t{200}, size_t{7000}}) two[at] ^= 0x55;
  for (size_t at : {size_t{200}, size_t{7000}, size_t{15000}}) three[at] ^= 0x55;
  WriteFile(dir.File("two.arj"), two);
  WriteFile(dir.File("three.arj"), three);
  std::string out;
  EXPECT_EQ(RunTool("test " + dir.File("two.arj"), &out), 1) << out;  // not without --recover
  EXPECT_EQ(RunTool("test --recover " + dir.File("two.arj"), &out), 0) << out;
  EXPECT_NE(out.find("two.arj: damaged blocks 0, 6 rebuilt from its ARJ-PROTECT record"), std::string::npos) << out;
  ASSERT_EQ(RunTool("extract --recover " + dir.File("two.arj") + " -C " + dir.File("out"), &out), 0) << out;
  for (const auto& e : fs::directory_iterator(Data("src/mixed")))
    EXPECT_EQ(ReadFile(dir.File("out/") + e.path().filename().string()), ReadFile(e.path().string()))
        << e.path().filename();
  EXPECT_EQ(ReadFile(dir.File("two.arj")), two);
  EXPECT_EQ(RunTool("test --recover " + dir.File("three.arj"), &out), 1) << out;
  EXPECT_NE(out.find("three.arj: damaged blocks 0, 6, 14: 3 blocks are damaged and the record rebuilds two; "
                     "recovering what is sound"),
            std::string::npos)
      << out;
}

// --recover of an arj set protected volume by volume (arj a -v -hk): each
// volume is read as its own record rebuilds it, the set whole from any of
// them; damage beyond a record is said and recovered around.
TEST(RepairCommand, RecoverRebuildsEachVolumeOfASetFromItsOwnRecord) {
  REQUIRE_PEER("arj");
  TempDir dir;
  std::mt19937 random(3304);
  Bytes data(150000);
  for (uint8_t& b : data) b = static_cast<uint8_t>(random());
  WriteFile(dir.File("r.bin"), data);
  ASSERT_EQ(RunArj(dir.path(), "a -v60K -hk set.arj r.bin"), 0);
  const Bytes first = ReadFile(dir.File("set.arj")), second = ReadFile(dir.File("set.a01"));
  Bytes damaged = second;
  damaged[30000] ^= 0x55;
  WriteFile(dir.File("set.a01"), damaged);
  std::string out;
  EXPECT_EQ(RunTool("test " + dir.File("set.arj"), &out), 1) << out;
  for (const char* named : {"set.arj", "set.a01", "set.a02"}) {
    SCOPED_TRACE(named);
    EXPECT_EQ(RunTool("extract --recover " + dir.File(named) + " -o -C " + dir.File("out"), &out), 0) << out;
    EXPECT_NE(out.find("set.a01: damaged blocks 29 rebuilt from its ARJ-PROTECT record"), std::string::npos) << out;
    EXPECT_EQ(ReadFile(dir.File("out/r.bin")), data);
  }
  EXPECT_EQ(ReadFile(dir.File("set.a01")), damaged);
  // Three blocks of the first volume: beyond its record.
  Bytes three = first;
  for (size_t at : {size_t{3000}, size_t{20000}, size_t{40000}}) three[at] ^= 0x55;
  WriteFile(dir.File("set.arj"), three);
  WriteFile(dir.File("set.a01"), second);
  EXPECT_EQ(RunTool("test --recover " + dir.File("set.a02"), &out), 1) << out;
  EXPECT_NE(out.find("set.arj: damaged blocks 2, 19, 39: 3 blocks are damaged and the record rebuilds two; "
                     "recovering what is sound"),
            std::string::npos)
      << out;
}

}  // namespace
