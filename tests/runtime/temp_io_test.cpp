#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include "runtime/services/services.h"
#include "runtime/services/temp_io.h"
#include "tests/support/bytes.h"
#include "tests/support/files.h"
#include "tests/support/io_objects.h"
#include "tests/support/test_host.h"

namespace {

using namespace testing_support;

size_t OpenDescriptors() {
  size_t n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d) != nullptr) ++n;
    closedir(d);
  }
  return n;
}

Bytes Pattern(size_t size, uint32_t seed) {
  Bytes b(size);
  uint32_t x = seed;
  for (auto& v : b) v = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
  return b;
}

ResultCode Write(ObjectRef io, uint64_t offset, const Bytes& bytes, uint32_t* count = nullptr) {
  uint32_t ignored = 0;
  return host::Io(io).SeekWrite(io, count != nullptr ? count : &ignored, offset, bytes.data(),
                                static_cast<uint32_t>(bytes.size()));
}

Bytes Read(ObjectRef io, uint64_t offset, uint32_t size) {
  Bytes out(size);
  uint32_t count = 0;
  IgnoreResult(host::Io(io).SeekRead(io, &count, offset, out.data(), size));  // the bytes tell; some reads pass the end
  out.resize(count);
  return out;
}

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (had_) setenv(name_, old_.c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

constexpr uint64_t kLimit = 64 * 1024;

TEST(TempIo, MovesToAFileAtTheLimitWithTheDataIntact) {
  TestHost host;
  const size_t descriptors = OpenDescriptors();
  ObjectRef temp = TempIo(host.root(), kLimit);
  const Bytes all = Pattern(5 * kLimit, 1);
  const uint32_t chunk = 10000;
  for (uint64_t at = 0; at < all.size(); at += chunk) {
    const Bytes part(all.begin() + at, all.begin() + std::min<uint64_t>(at + chunk, all.size()));
    uint32_t count = 0;
    ASSERT_EQ(Write(temp, at, part, &count), RESULT_OK);
    EXPECT_EQ(count, part.size());
    // Readable at once, also the write that crossed the limit.
    ASSERT_EQ(Read(temp, at, static_cast<uint32_t>(part.size())), part) << at;
    EXPECT_EQ(OpenDescriptors(), descriptors + (at + part.size() > kLimit ? 1 : 0)) << "after " << at + chunk;
  }
  EXPECT_EQ(ReadAll(temp), all);
  // Across the boundary, in one read.
  EXPECT_EQ(Read(temp, kLimit - 3000, 6000), Bytes(all.begin() + kLimit - 3000, all.begin() + kLimit + 3000));
  uint64_t size = 0;
  EXPECT_EQ(host::Io(temp).GetSize(temp, &size, 0), RESULT_OK);
  EXPECT_EQ(size, all.size());
  EXPECT_EQ(host::Io(temp).Flush(temp), RESULT_OK);
  host::CloseIfOpen(temp);
  EXPECT_EQ(OpenDescriptors(), descriptors) << "the file closes with the object";
}

TEST(TempIo, RewritesGapsAndSizesInMemoryAndInTheFile) {
  TestHost host;
  for (bool in_file : {false, true}) {
    SCOPED_TRACE(in_file ? "file" : "memory");
    ObjectRef temp = TempIo(host.root(), in_file ? 0 : kLimit);
    ASSERT_EQ(Write(temp, 100, ToBytes("tail")), RESULT_OK);
    EXPECT_EQ(Read(temp, 0, 200), Concat({Bytes(100, 0), ToBytes("tail")})) << "the gap reads as zeros";
    ASSERT_EQ(Write(temp, 2, ToBytes("head")), RESULT_OK);
    EXPECT_EQ(Read(temp, 0, 8), ToBytes(std::string("\0\0head\0\0", 8)));
    ASSERT_EQ(host::Io(temp).SetSize(temp, 4), RESULT_OK);
    EXPECT_EQ(ReadAll(temp), ToBytes(std::string("\0\0he", 4)));
    ASSERT_EQ(host::Io(temp).SetSize(temp, 6), RESULT_OK);
    EXPECT_EQ(ReadAll(temp), ToBytes(std::string("\0\0he\0\0", 6))) << "growth zero-fills";
    uint8_t byte;
    uint32_t count = 7;
    EXPECT_EQ(host::Io(temp).SeekRead(temp, &count, 6, &byte, 1), ERR_END_OF_DATA);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(host::Io(temp).SeekRead(temp, &count, 5, &byte, 0), RESULT_OK);
    host::CloseIfOpen(temp);
  }
}

TEST(TempIo, LargeOffsetsGoToASparseFile) {
  TestHost host;
  ObjectRef temp = TempIo(host.root(), kLimit);
  const uint64_t far = uint64_t{5} << 30;  // past 4 GiB: no 32-bit offset survives
  ASSERT_EQ(Write(temp, 10, ToBytes("near")), RESULT_OK);
  ASSERT_EQ(Write(temp, far, ToBytes("far")), RESULT_OK);
  uint64_t size = 0;
  EXPECT_EQ(host::Io(temp).GetSize(temp, &size, 0), RESULT_OK);
  EXPECT_EQ(size, far + 3);
  EXPECT_EQ(Read(temp, far - 2, 10), ToBytes(std::string("\0\0far", 5)));
  EXPECT_EQ(Read(temp, 8, 8), ToBytes(std::string("\0\0near\0\0", 8)));
  EXPECT_EQ(Read(temp, uint64_t{4} << 30, 4), Bytes(4, 0));
  uint32_t count = 9;
  uint8_t byte = 0;
  EXPECT_EQ(host::Io(temp).SeekWrite(temp, &count, UINT64_MAX - 1, &byte, 1), ERR_BAD_PARAMETER);
  EXPECT_EQ(host::Io(temp).SeekWrite(temp, &count, static_cast<uint64_t>(INT64_MAX), &byte, 1), ERR_BAD_PARAMETER);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(host::Io(temp).SetSize(temp, UINT64_MAX), ERR_BAD_PARAMETER);
  host::CloseIfOpen(temp);
}

TEST(TempIo, ReportsFailuresAndKeepsWhatItHeld) {
  TestHost host;
  const Bytes first = Pattern(kLimit - 10, 2);
  {
    // No folder to make the file in: the move fails, the memory content stays.
    ScopedEnv tmpdir("TMPDIR", "/nonexistent/arjhost-no-such-folder");
    ObjectRef temp = TempIo(host.root(), kLimit);
    ASSERT_EQ(Write(temp, 0, first), RESULT_OK);
    uint32_t count = 5;
    EXPECT_EQ(Write(temp, first.size(), Pattern(100, 3), &count), ERR_IO);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(ReadAll(temp), first);
    EXPECT_EQ(host::Io(temp).SetSize(temp, kLimit + 1), ERR_IO);
    host::CloseIfOpen(temp);
  }
  {
    // A full disk, as the file size limit makes it: the write fails with ERR_IO.
    ObjectRef temp = TempIo(host.root(), 0);
    ASSERT_EQ(Write(temp, 0, first), RESULT_OK);
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 2 * kLimit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    uint32_t count = 0;
    const ResultCode r = Write(temp, 0, Pattern(3 * kLimit, 4), &count);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(r, ERR_IO);
    EXPECT_EQ(count, 2 * kLimit) << "the count tells what did get written";
    uint64_t size = 0;
    EXPECT_EQ(host::Io(temp).GetSize(temp, &size, 0), RESULT_OK);
    EXPECT_EQ(size, 2 * kLimit);
    host::CloseIfOpen(temp);
  }
}

TEST(TempIo, KeepsTheModesThePlugInSets) {
  TestHost host;
  ObjectRef temp = nullptr;
  ASSERT_EQ(host::CreateObject(host.root(), &temp, IID_BLOCK_IO, PID_TEMP_IO), RESULT_OK);
  EXPECT_EQ(host::SetPropDWord(temp, PROP_ACCESS_MODE, ACCESS_READ | ACCESS_WRITE), RESULT_OK);
  EXPECT_EQ(host::SetPropDWord(temp, PROP_OPEN_MODE, OPEN_EXISTING | OPEN_CREATE | OPEN_TRUNCATE), RESULT_OK);
  ASSERT_EQ(host::CreateObjectDone(temp), RESULT_OK);
  EXPECT_EQ(host::GetPropDWord(temp, PROP_ACCESS_MODE), ACCESS_READ | ACCESS_WRITE);
  EXPECT_EQ(host::GetPropDWord(temp, PROP_OPEN_MODE), OPEN_EXISTING | OPEN_CREATE | OPEN_TRUNCATE);
  EXPECT_EQ(temp->system->GetPropQWord(temp, arjrt::PROP_TEMP_MEMORY_LIMIT), uint64_t{8} << 20);
  host::CloseIfOpen(temp);
}

TEST(TempIo, ReusedMemoryReadsAsZerosWhereNothingWasWritten) {
  TestHost host;
  ObjectRef first = TempIo(host.root(), kLimit);
  ASSERT_EQ(Write(first, 0, Pattern(3000, 5)), RESULT_OK);
  host::CloseIfOpen(first);  // its memory goes to the next one
  ObjectRef temp = TempIo(host.root(), kLimit);
  ASSERT_EQ(host::Io(temp).SetSize(temp, 1000), RESULT_OK);
  ASSERT_EQ(Write(temp, 2000, ToBytes("x")), RESULT_OK);
  EXPECT_EQ(ReadAll(temp), Concat({Bytes(2000, 0), ToBytes("x")}));
  host::CloseIfOpen(temp);
}

TEST(TempIo, MemorySpansShowTheContentUntilItMoves) {
  TestHost host;
  ObjectRef temp = TempIo(host.root(), 3 << 20);
  const Bytes all = Pattern((2 << 20) + 500, 6);  // more than one chunk
  ASSERT_EQ(Write(temp, 0, all), RESULT_OK);
  Bytes seen;
  const uint8_t* data = nullptr;
  size_t size = 0;
  while (arjrt::TempIoMemorySpan(temp, seen.size(), &data, &size) && size != 0) seen.insert(seen.end(), data, data + size);
  EXPECT_EQ(seen, all);
  ASSERT_EQ(host::Io(temp).SetSize(temp, 4 << 20), RESULT_OK);  // past the limit
  EXPECT_FALSE(arjrt::TempIoMemorySpan(temp, 0, &data, &size));
  EXPECT_FALSE(arjrt::TempIoMemorySpan(host.root(), 0, &data, &size)) << "not a temporary I/O";
  host::CloseIfOpen(temp);
}

// The target is lent on the object the request is made on: a temporary
// I/O made on another object (another archiver's extraction) never
// lands in it.
TEST(TempIo, OneAtATimeMovesIntoTheSpillTargetWhichStaysOpen) {
  TestHost host;
  TempDir dir;
  const int fd = open((dir.path() + "/target").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, "stale bytes", 11, 0), 11);
  arjrt::Delivery delivery(fd, nullptr);
  host.runtime().scratch().Lend(host.root(), &delivery);
  ObjectRef first = TempIo(host.root(), kLimit);
  ObjectRef second = TempIo(host.root(), kLimit);
  ObjectRef other_parent = TempIo(host.root(), kLimit);
  ObjectRef elsewhere = TempIo(other_parent, kLimit);
  ASSERT_EQ(Write(elsewhere, 0, Pattern(3 * kLimit, 9)), RESULT_OK);
  EXPECT_FALSE(arjrt::TempIoInSpillTarget(elsewhere)) << "made on an object nothing was lent on";
  host::CloseIfOpen(other_parent);
  const Bytes a = Pattern(3 * kLimit, 7), b = Pattern(2 * kLimit, 8);
  ASSERT_EQ(Write(first, 0, a), RESULT_OK);
  ASSERT_EQ(Write(second, 0, b), RESULT_OK);
  EXPECT_TRUE(arjrt::TempIoInSpillTarget(first));
  EXPECT_FALSE(arjrt::TempIoInSpillTarget(second)) << "the target holds one content";
  EXPECT_EQ(ReadAll(second), b);
  Bytes in_file(a.size() + 1);
  EXPECT_EQ(pread(fd, in_file.data(), in_file.size(), 0), static_cast<ssize_t>(a.size()));
  in_file.resize(a.size());
  EXPECT_EQ(in_file, a);
  host::CloseIfOpen(first);
  host::CloseIfOpen(second);
  ObjectRef third = TempIo(host.root(), kLimit);
  ASSERT_EQ(Write(third, 0, b), RESULT_OK);
  EXPECT_TRUE(arjrt::TempIoInSpillTarget(third)) << "free again once the first closed";
  host::CloseIfOpen(third);
  host.runtime().scratch().TakeBack(host.root());
  EXPECT_EQ(fcntl(fd, F_GETFD), 0) << "the target is the embedder's to close";
  close(fd);
}

}  // namespace
