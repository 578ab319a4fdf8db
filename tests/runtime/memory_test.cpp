#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "runtime/api/internal/builtin_services.h"
#include "tests/support/test_host.h"

namespace {

using namespace testing_support;

using testing_support::TestHost;

class MemoryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(host::CreateObjectQuick(host_.root(), &memory_, IID_MEMORY, 0), RESULT_OK); }
  void TearDown() override { host::CloseIfOpen(memory_); }
  const MemoryMethods& mem() { return host::Memory(memory_); }

  TestHost host_;
  ObjectRef memory_ = nullptr;
};

bool AllZero(const void* p, size_t n) {
  const auto* b = static_cast<const uint8_t*>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i] != 0) return false;
  return true;
}

TEST_F(MemoryTest, BlocksStartZeroAndGrowthIsZeroFilledAfterShrinking) {
  void* block = nullptr;
  ASSERT_EQ(mem().Alloc(memory_, &block, 1000), RESULT_OK);
  EXPECT_TRUE(AllZero(block, 1000));
  std::memset(block, 0xAB, 1000);
  ASSERT_EQ(mem().Realloc(memory_, &block, block, 400), RESULT_OK);  // shrink within the block
  ASSERT_EQ(mem().Realloc(memory_, &block, block, 5000), RESULT_OK);
  auto* b = static_cast<uint8_t*>(block);
  for (int i = 0; i < 400; ++i) ASSERT_EQ(b[i], 0xAB) << i;
  EXPECT_TRUE(AllZero(b + 400, 4600)) << "bytes beyond the shrunk size must read as new, zero bytes";
  EXPECT_EQ(mem().Free(memory_, block), RESULT_OK);
  EXPECT_EQ(host_.LiveBlocks(), 0u);
}

TEST_F(MemoryTest, ResizingForEveryEntryMovesTheTableOnlyLogarithmicallyOften) {
  // The entry table grows by one record per entry; a block that moved on
  // every resize would make the scan quadratic.
  void* table = nullptr;
  ASSERT_EQ(mem().Alloc(memory_, &table, 20 * 600), RESULT_OK);
  int moves = 0;
  for (uint64_t n = 1; n <= 100000; ++n) {
    void* before = table;
    ASSERT_EQ(mem().Realloc(memory_, &table, table, (n + 10) * 600), RESULT_OK);
    moves += table != before;
    static_cast<uint8_t*>(table)[(n + 10) * 600 - 1] = 1;  // touch the last byte: it must be inside
  }
  EXPECT_LT(moves, 40);
  EXPECT_EQ(mem().Free(memory_, table), RESULT_OK);
}

TEST_F(MemoryTest, InjectedFailuresReportNoMemoryAndKeepTheOldBlock) {
  void* block = nullptr;
  host_.runtime().FailAllocation(2);
  ASSERT_EQ(mem().Alloc(memory_, &block, 16), RESULT_OK);
  void* old = block;
  EXPECT_EQ(mem().Realloc(memory_, &block, block, 1 << 20), ERR_NO_MEMORY);
  EXPECT_EQ(block, old) << "a failed resize leaves the old block in place";
  void* other = nullptr;
  EXPECT_EQ(mem().Alloc(memory_, &other, 16), RESULT_OK) << "only the k-th allocation fails";
  host_.runtime().FailAllocation(1, true);
  void* third = nullptr;
  EXPECT_EQ(mem().Alloc(memory_, &third, 16), ERR_NO_MEMORY);
  EXPECT_EQ(mem().Alloc(memory_, &third, 16), ERR_NO_MEMORY);
  host_.runtime().FailAllocation(0);
  EXPECT_EQ(mem().Alloc(memory_, &third, uint64_t{1} << 50), ERR_NO_MEMORY) << "absurd sizes are refused";
  for (void* p : {block, other}) EXPECT_EQ(mem().Free(memory_, p), RESULT_OK);
}

TEST_F(MemoryTest, ForeignBlocksAreRefused) {
  int local = 0;
  void* block = &local;
  EXPECT_EQ(mem().Free(memory_, &local), ERR_BAD_PARAMETER);
  EXPECT_EQ(mem().Realloc(memory_, &block, &local, 8), ERR_BAD_PARAMETER);
  EXPECT_EQ(mem().Free(memory_, nullptr), RESULT_OK);
}

TEST(MemoryLeaks, AMemoryObjectClosedWithBlocksIsReported) {
  arjrt::Runtime runtime(arjrt::RegisterBuiltinServices);
  ObjectRef memory = nullptr;
  ASSERT_EQ(host::CreateObjectQuick(runtime.root(), &memory, IID_MEMORY, 0), RESULT_OK);
  void* block = nullptr;
  ASSERT_EQ(host::Memory(memory).Alloc(memory, &block, 64), RESULT_OK);
  EXPECT_EQ(runtime.live_block_count(), 1u);
  host::CloseIfOpen(memory);
  EXPECT_EQ(runtime.live_block_count(), 0u);
  ASSERT_EQ(runtime.leak_notes().size(), 1u);
  EXPECT_NE(runtime.leak_notes()[0].find("1 block"), std::string::npos);
}

}  // namespace
