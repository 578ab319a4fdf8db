#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/services/services.h"
#include "tests/support/bytes.h"
#include "tests/support/io_objects.h"
#include "tests/support/test_host.h"

namespace {

using namespace testing_support;

// A base I/O of a huge size whose byte at offset j is a function of j; it
// records every request, so that a test can see what the window asked for.
constexpr uint32_t PID_RECORDING_IO = 0x7E570001u;

struct Request {
  uint64_t offset;
  uint32_t size;
};
std::vector<Request> g_requests;
uint64_t g_recording_size = UINT64_MAX;

uint8_t ByteAt(uint64_t j) { return static_cast<uint8_t>((j * 0x9E3779B97F4A7C15ull) >> 56); }

ResultCode RecordingRead(ObjectRef, uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
  g_requests.push_back({offset, size});
  uint32_t n = 0;
  if (offset < g_recording_size) n = static_cast<uint32_t>(std::min<uint64_t>(size, g_recording_size - offset));
  for (uint32_t i = 0; i < n; ++i) static_cast<uint8_t*>(buffer)[i] = ByteAt(offset + i);
  *count = n;
  return n == size ? RESULT_OK : (n != 0 ? WARN_SHORT_READ : ERR_END_OF_DATA);
}
ResultCode RecordingSize(ObjectRef, uint64_t* size, uint32_t) {
  *size = g_recording_size;
  return RESULT_OK;
}
const BlockIoMethods kRecordingMethods = {RecordingRead, RecordingSize, nullptr, nullptr, nullptr};

class WindowIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_requests.clear();
    g_recording_size = UINT64_MAX;
    InternalHooks hooks{};
    ObjectRef root = host_.root();
    ASSERT_EQ(host::Root(root).RegisterInterface(root, IID_BLOCK_IO, PID_RECORDING_IO, 0, 1, 0, &hooks,
                                                 kInternalHookSlots, &kRecordingMethods, 5, nullptr, 0, 0, 0),
              RESULT_OK);
    ASSERT_EQ(host::CreateObjectQuick(root, &base_, IID_BLOCK_IO, PID_RECORDING_IO), RESULT_OK);
  }
  void TearDown() override { host::CloseIfOpen(base_); }

  TestHost host_;
  ObjectRef base_ = nullptr;
};

// What a window read must deliver, counted in 128 bits so that no sum wraps.
uint64_t ExpectedCount(uint64_t window_offset, uint64_t window_size, uint64_t base_size, uint64_t offset,
                       uint32_t size) {
  using u128 = unsigned __int128;
  const u128 start = u128{window_offset} + offset;
  const u128 end = std::min({u128{window_offset} + window_size, u128{base_size}, start + size});
  return end > start ? static_cast<uint64_t>(end - start) : 0;
}

TEST_F(WindowIoTest, ReadsStayInsideTheWindowAndTheBaseForHostileOffsets) {
  constexpr uint64_t kMax = UINT64_MAX;
  const uint64_t window_offsets[] = {0, 1, 1000, kMax - 4096, kMax - 1, kMax};
  const uint64_t window_sizes[] = {0, 1, 4096, kMax / 2, kMax - 1, kMax};
  const uint64_t base_sizes[] = {kMax, 5000};
  const uint64_t offsets[] = {0, 1, 4095, 4096, kMax - 4096, kMax - 10, kMax};
  const uint32_t sizes[] = {0, 1, 100, 4096, UINT32_MAX};
  std::vector<uint8_t> buffer(64 * 1024 + 16);
  for (uint64_t base_size : base_sizes)
    for (uint64_t wo : window_offsets)
      for (uint64_t ws : window_sizes) {
        g_recording_size = base_size;
        ObjectRef window = Window(host_.root(), base_, wo, ws);
        for (uint64_t off : offsets)
          for (uint32_t size : sizes) {
            // Requests larger than the buffer only where the base has nothing to give.
            const uint64_t expected = ExpectedCount(wo, ws, base_size, off, size);
            if (size > buffer.size() - 16 && (expected != 0 || base_size == kMax)) continue;
            std::fill(buffer.begin(), buffer.end(), 0xA5);
            g_requests.clear();
            uint32_t count = 12345;
            const ResultCode r = host::Io(window).SeekRead(window, &count, off, buffer.data(), size);
            SCOPED_TRACE(::testing::Message() << "window " << wo << "+" << ws << " base " << base_size << " read "
                                              << off << "+" << size);
            EXPECT_EQ(count, expected);
            EXPECT_EQ(r, size == 0 ? RESULT_OK
                         : expected == size ? RESULT_OK
                         : expected != 0    ? WARN_SHORT_READ
                                            : ERR_END_OF_DATA);
            for (const Request& q : g_requests) {
              // Every request of the base lies inside the window, without wrapping.
              EXPECT_GE(q.offset, wo);
              EXPECT_LE(q.size, kMax - q.offset);
              EXPECT_LE(q.offset - wo + q.size, ws);
            }
            for (uint64_t i = 0; i < expected; ++i)
              if (buffer[i] != ByteAt(wo + off + i)) {
                ADD_FAILURE() << "byte " << i << " differs";
                break;
              }
            if (expected < buffer.size()) {
              EXPECT_EQ(buffer[expected], 0xA5) << "written past the count";
            }
          }
        host::CloseIfOpen(window);
      }
}

TEST_F(WindowIoTest, SizeIsTheWindowCutToWhatTheBaseHolds) {
  g_recording_size = 5000;
  struct Case {
    uint64_t offset, size, expected;
  } cases[] = {{0, 100, 100}, {4900, 100, 100}, {4900, 101, 100}, {5000, 10, 0}, {UINT64_MAX, UINT64_MAX, 0},
               {10, UINT64_MAX, 4990}};
  for (const Case& c : cases) {
    ObjectRef window = Window(host_.root(), base_, c.offset, c.size);
    uint64_t size = 77;
    EXPECT_EQ(host::Io(window).GetSize(window, &size, 0), RESULT_OK);
    EXPECT_EQ(size, c.expected) << c.offset << "+" << c.size;
    host::CloseIfOpen(window);
  }
}

TEST_F(WindowIoTest, RepointingAfterCreationTakesEffectAtTheNextRead) {
  Bytes first = ToBytes("0123456789"), second = ToBytes("abcdefghijklmnopqrstuvwxyz");
  ObjectRef a = MemoryView(host_.root(), first), b = MemoryView(host_.root(), second);
  ObjectRef window = Window(host_.root(), a, 2, 3);
  EXPECT_EQ(ReadAll(window), ToBytes("234"));
  EXPECT_EQ(host::SetPropQWord(window, PROP_WINDOW_OFFSET, 5), RESULT_OK);
  EXPECT_EQ(ReadAll(window), ToBytes("567"));
  EXPECT_EQ(host::SetPropQWord(window, PROP_WINDOW_SIZE, 100), RESULT_OK);
  EXPECT_EQ(ReadAll(window), ToBytes("56789"));
  EXPECT_EQ(host::SetPropObject(window, PROP_WINDOW_BASE, b), RESULT_OK);
  EXPECT_EQ(ReadAll(window), ToBytes("fghijklmnopqrstuvwxyz"));
  EXPECT_EQ(host::CreateObjectDone(window), RESULT_OK) << "a second CreateObjectDone";
  EXPECT_EQ(window->system->GetPropObject(window, PROP_WINDOW_BASE), b);
  EXPECT_EQ(window->system->GetPropQWord(window, PROP_WINDOW_OFFSET), 5u);
  host::CloseIfOpen(window);
  host::CloseIfOpen(a);
  host::CloseIfOpen(b);
}

TEST_F(WindowIoTest, RefusesWritesAndNeedsALiveBlockIoBase) {
  Bytes bytes = ToBytes("data");
  ObjectRef io = MemoryView(host_.root(), bytes);
  ObjectRef window = Window(host_.root(), nullptr, 0, 4);
  uint8_t buffer[4];
  uint32_t count = 9;
  EXPECT_EQ(host::Io(window).SeekRead(window, &count, 0, buffer, 4), ERR_NOT_INITIALIZED);
  EXPECT_EQ(count, 0u);
  uint64_t size = 0;
  EXPECT_EQ(host::Io(window).GetSize(window, &size, 0), ERR_NOT_INITIALIZED);
  EXPECT_EQ(host::Io(window).SeekRead(window, &count, 0, buffer, 0), RESULT_OK) << "nothing asked, nothing needed";

  ObjectRef text = nullptr;
  ASSERT_EQ(host::CreateObjectQuick(host_.root(), &text, IID_TEXT, PID_DEFAULT), RESULT_OK);
  EXPECT_EQ(host::SetPropObject(window, PROP_WINDOW_BASE, text), ERR_BAD_PARAMETER) << "not an I/O";
  EXPECT_EQ(host::SetPropObject(window, PROP_WINDOW_BASE, window), ERR_BAD_PARAMETER) << "itself";
  host::CloseIfOpen(text);

  // Two windows on each other: a read must end, not recurse.
  ObjectRef other = Window(host_.root(), window, 0, 4);
  ASSERT_EQ(host::SetPropObject(window, PROP_WINDOW_BASE, other), RESULT_OK);
  EXPECT_TRUE(Failed(host::Io(window).SeekRead(window, &count, 0, buffer, 4)));
  host::CloseIfOpen(other);
  EXPECT_EQ(host::Io(window).SeekRead(window, &count, 0, buffer, 4), ERR_NOT_INITIALIZED) << "the base closed";

  ASSERT_EQ(host::SetPropObject(window, PROP_WINDOW_BASE, io), RESULT_OK);
  EXPECT_EQ(host::Io(window).SeekRead(window, &count, 0, buffer, 4), RESULT_OK);
  EXPECT_EQ(host::Io(window).SeekWrite(window, &count, 0, buffer, 4), ERR_ACCESS_DENIED);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(host::Io(window).SetSize(window, 0), ERR_ACCESS_DENIED);
  EXPECT_EQ(ReadAll(io), bytes);
  host::CloseIfOpen(window);
  host::CloseIfOpen(io);
}

// A window over a base that takes writes lets them through, shifted by its
// offset and held to its size: a rewritten archive goes after its stub.
TEST_F(WindowIoTest, WritesGoThroughToAWritableBaseWithinTheWindow) {
  ObjectRef base = TempIo(host_.root(), 1 << 20);
  uint32_t count = 0;
  ASSERT_EQ(host::Io(base).SeekWrite(base, &count, 0, "stub", 4), RESULT_OK);
  ObjectRef window = Window(host_.root(), base, 4, 8);
  EXPECT_EQ(host::Io(window).SeekWrite(window, &count, 0, "archive!", 8), RESULT_OK);
  EXPECT_EQ(count, 8u);
  struct Case {
    uint64_t offset;
    uint32_t size;
  };
  for (const Case& c : {Case{8, 1}, Case{4, 5}, Case{UINT64_MAX, 1}, Case{UINT64_MAX - 3, 4}}) {
    EXPECT_EQ(host::Io(window).SeekWrite(window, &count, c.offset, "xxxxx", c.size), ERR_BAD_PARAMETER) << c.offset;
    EXPECT_EQ(count, 0u);
  }
  EXPECT_EQ(host::Io(window).SetSize(window, 9), ERR_BAD_PARAMETER);
  EXPECT_EQ(host::Io(window).Flush(window), RESULT_OK);
  EXPECT_EQ(ReadAll(base), ToBytes("stubarchive!"));
  EXPECT_EQ(host::Io(window).SetSize(window, 3), RESULT_OK);
  EXPECT_EQ(ReadAll(base), ToBytes("stubarc"));
  host::CloseIfOpen(window);
  host::CloseIfOpen(base);
}

}  // namespace
