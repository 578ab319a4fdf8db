// The native file, memory and content file I/O objects: the read result
// rule they share, and what each does on its own (open errors, sparse
// offsets, views, growth; the file listed, and its changes while read).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "runtime/services/content_file_io.h"
#include "runtime/services/services.h"
#include "tests/support/bytes.h"
#include "tests/support/sample_data.h"
#include "tests/support/files.h"
#include "tests/support/io_objects.h"
#include "tests/support/test_host.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

constexpr uint64_t kGiB = uint64_t{1} << 30;
const std::string kDigits = "0123456789";

enum class IoKind { NativeFile, OwnedMemory, MemoryView, ContentFile };

class BlockIoReadRule : public ::testing::TestWithParam<IoKind> {
 protected:
  void SetUp() override {
    switch (GetParam()) {
      case IoKind::NativeFile:
        WriteFile(dir_.File("digits"), kDigits);
        ASSERT_EQ(OpenNativeFile(host_.root(), &io_, dir_.File("digits")), RESULT_OK);
        break;
      case IoKind::OwnedMemory:
        io_ = MakeMemoryIo(host_.root(), kDigits);
        break;
      case IoKind::ContentFile:
        io_ = FileContent(host_.root(), dir_.File("digits"), ToBytes(kDigits));
        break;
      case IoKind::MemoryView:
        ASSERT_EQ(host::CreateObject(host_.root(), &io_, IID_BLOCK_IO, PID_MEMORY_IO), RESULT_OK);
        EXPECT_EQ(host::SetPropQWord(io_, arjrt::PROP_MEMORY_VIEW_ADDRESS, reinterpret_cast<uintptr_t>(kDigits.data())),
                  RESULT_OK);
        EXPECT_EQ(host::SetPropQWord(io_, arjrt::PROP_MEMORY_VIEW_SIZE, kDigits.size()), RESULT_OK);
        ASSERT_EQ(host::CreateObjectDone(io_), RESULT_OK);
        break;
    }
    ASSERT_NE(io_, nullptr);
  }
  void TearDown() override { host::CloseIfOpen(io_); }

  ResultCode Read(uint64_t offset, uint32_t size, uint32_t* count, std::string* bytes) {
    std::string buffer(size, '#');
    ResultCode result = host::Io(io_).SeekRead(io_, count, offset, buffer.data(), size);
    *bytes = buffer.substr(0, *count);
    return result;
  }

  TempDir dir_;
  TestHost host_;
  ObjectRef io_ = nullptr;
};

TEST_P(BlockIoReadRule, FullShortNoneAndEmptyReads) {
  uint32_t count = 99;
  std::string bytes;
  EXPECT_EQ(Read(2, 5, &count, &bytes), RESULT_OK);
  EXPECT_EQ(bytes, "23456");
  EXPECT_EQ(Read(0, 10, &count, &bytes), RESULT_OK);
  EXPECT_EQ(bytes, kDigits);

  EXPECT_EQ(Read(7, 5, &count, &bytes), WARN_SHORT_READ);
  EXPECT_EQ(bytes, "789");

  for (uint64_t offset : {uint64_t{10}, uint64_t{11}, uint64_t{1} << 40, UINT64_MAX - 2, UINT64_MAX}) {
    count = 99;
    EXPECT_EQ(Read(offset, 5, &count, &bytes), ERR_END_OF_DATA) << offset;
    EXPECT_EQ(count, 0u) << offset;
  }

  count = 99;
  EXPECT_EQ(Read(3, 0, &count, &bytes), RESULT_OK);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(Read(50, 0, &count, &bytes), RESULT_OK) << "asking for nothing succeeds even past the end";
  EXPECT_EQ(host::Io(io_).SeekRead(io_, nullptr, 0, nullptr, 0), RESULT_OK);

  uint64_t size = 0;
  EXPECT_EQ(host::Io(io_).GetSize(io_, &size, 0), RESULT_OK);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(io_->system->GetPropQWord(io_, PROP_OBJECT_SIZE), 10u);
}

INSTANTIATE_TEST_SUITE_P(AllKinds, BlockIoReadRule,
                         ::testing::Values(IoKind::NativeFile, IoKind::OwnedMemory, IoKind::MemoryView,
                                           IoKind::ContentFile));

// A file to be stored as new content: the file listed, read as it stood
// when opened.
class ContentFileIo : public ::testing::Test {
 protected:
  // A content file over `path`, which must be the file `listed` (when
  // given) and is read through a link only with `follow_link`.
  ResultCode Open(const std::string& path, const struct stat* listed, bool follow_link, ObjectRef* io) {
    *io = nullptr;
    ResultCode r = host::CreateObject(host_.root(), io, IID_BLOCK_IO, arjrt::PID_CONTENT_FILE_IO);
    if (Failed(r)) return r;
    r = host::SetPropBuffer(*io, PROP_OBJECT_PATH, path.c_str(), static_cast<uint32_t>(path.size() + 1));
    if (!Failed(r) && listed != nullptr) {
      const uint64_t identity[2] = {listed->st_dev, listed->st_ino};
      r = host::SetPropBuffer(*io, arjrt::PROP_CONTENT_IDENTITY, identity, sizeof identity);
    }
    if (!Failed(r)) r = host::SetPropDWord(*io, arjrt::PROP_CONTENT_FOLLOW_LINK, follow_link ? 1 : 0);
    if (!Failed(r)) r = host::CreateObjectDone(*io);
    if (Failed(r)) host::CloseIfOpen(*io);
    return r;
  }

  ResultCode Read(ObjectRef io, uint64_t offset, uint32_t size, uint32_t* count) {
    buffer_.assign(size, 0);
    return host::Io(io).SeekRead(io, count, offset, buffer_.data(), size);
  }

  std::optional<uint32_t> FirstReadCrc(ObjectRef io) {
    uint32_t crc = 0, length = 0;
    if (Failed(io->system->GetPropBuffer(io, &length, arjrt::PROP_CONTENT_CRC, &crc, sizeof crc))) return std::nullopt;
    return crc;
  }

  TempDir dir_;
  TestHost host_;
  Bytes buffer_;
};

// What stands at the path when the file is opened, after it was listed:
// only the file listed is read. Nothing here may block (a FIFO has no
// writer).
TEST_F(ContentFileIo, OpensOnlyTheFileListed) {
  struct Case {
    const char* what;
    std::function<void(const std::string& path, const std::string& other)> after_listing;
    bool identity_known;
    bool follow_link;
    ResultCode expected;
  };
  auto link_to_other = [](const std::string& path, const std::string& other) {
    fs::remove(path);
    fs::create_symlink(other, path);
  };
  auto fifo = [](const std::string& path, const std::string&) {
    fs::remove(path);
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  };
  auto renamed_over = [](const std::string& path, const std::string& other) { fs::rename(other, path); };
  auto nothing = [](const std::string&, const std::string&) {};
  const Case cases[] = {
      {"the file listed", nothing, true, false, RESULT_OK},
      {"a link put in its place", link_to_other, true, false, ERR_CONTENT_REPLACED},
      {"a link put in its place, links followed", link_to_other, true, true, ERR_CONTENT_REPLACED},
      {"a link, nothing listed", link_to_other, false, false, ERR_UNSUPPORTED},
      {"a FIFO put in its place", fifo, true, false, ERR_CONTENT_REPLACED},
      {"a FIFO, nothing listed", fifo, false, true, ERR_UNSUPPORTED},
      {"another file renamed over it", renamed_over, true, false, ERR_CONTENT_REPLACED},
      {"another file, nothing listed", renamed_over, false, false, RESULT_OK},
      {"removed", [](const std::string& path, const std::string&) { fs::remove(path); }, true, false, ERR_NOT_FOUND},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string path = dir.File("listed"), other = dir.File("other");
    WriteFile(path, "listed bytes");
    WriteFile(other, "another file's bytes");
    struct stat listed;
    ASSERT_EQ(::stat(path.c_str(), &listed), 0);
    c.after_listing(path, other);
    ObjectRef io = nullptr;
    EXPECT_EQ(Open(path, c.identity_known ? &listed : nullptr, c.follow_link, &io), c.expected);
    EXPECT_EQ(io != nullptr, c.expected == RESULT_OK);
    host::CloseIfOpen(io);
  }
  // A link the user named is read where it points, when that is the file listed.
  WriteFile(dir_.File("target"), "target bytes");
  fs::create_symlink("target", dir_.File("named"));
  struct stat target;
  ASSERT_EQ(::stat(dir_.File("target").c_str(), &target), 0);
  ObjectRef io = nullptr;
  ASSERT_EQ(Open(dir_.File("named"), &target, true, &io), RESULT_OK);
  uint32_t count = 0;
  EXPECT_EQ(Read(io, 0, 64, &count), WARN_SHORT_READ);
  EXPECT_EQ(std::string(buffer_.begin(), buffer_.begin() + count), "target bytes");
  host::CloseIfOpen(io);
  EXPECT_EQ(Open(dir_.File("named"), &target, false, &io), ERR_CONTENT_REPLACED) << "no link where none was listed";
}

// The content is the file as it stood when opened: reads say when it
// shrinks or grows meanwhile, and its first whole read, from its start and
// in order (the entry's CRC), has its CRC.
TEST_F(ContentFileIo, ItsBytesAreTheFileAsOpenedAndItsFirstReadHasACrc) {
  const Bytes data = MixedSample(100000, 3);
  const std::string path = dir_.File("content");
  ObjectRef io = FileContent(host_.root(), path, data);
  uint32_t count = 0;
  EXPECT_EQ(Read(io, 10, 100, &count), RESULT_OK);
  EXPECT_EQ(Read(io, 0, 60000, &count), RESULT_OK);
  EXPECT_EQ(FirstReadCrc(io), std::nullopt) << "not whole yet";
  EXPECT_EQ(Read(io, 60000, 50000, &count), WARN_SHORT_READ);
  EXPECT_EQ(count, 40000u);
  EXPECT_EQ(FirstReadCrc(io), Crc32Of(data));
  // A later read of other bytes leaves the first read's CRC.
  WriteFile(path, Bytes(data.size(), 0));
  EXPECT_EQ(Read(io, 0, 100000, &count), RESULT_OK);
  EXPECT_EQ(FirstReadCrc(io), Crc32Of(data));
  host::CloseIfOpen(io);

  io = FileContent(host_.root(), path, data);
  EXPECT_EQ(Read(io, 0, 50000, &count), RESULT_OK);
  EXPECT_EQ(Read(io, 60000, 40000, &count), RESULT_OK) << "a read out of order";
  EXPECT_EQ(FirstReadCrc(io), std::nullopt);
  ASSERT_EQ(::truncate(path.c_str(), 70000), 0);
  EXPECT_EQ(Read(io, 50000, 50000, &count), ERR_CONTENT_SHRANK);
  EXPECT_EQ(count, 20000u);
  host::CloseIfOpen(io);

  io = FileContent(host_.root(), path, data);
  {
    std::ofstream more(path, std::ios::binary | std::ios::app);
    more << "appended";
  }
  EXPECT_EQ(Read(io, 0, 50000, &count), RESULT_OK);
  EXPECT_EQ(Read(io, 50000, 50000, &count), ERR_CONTENT_GREW) << "at its end, the file goes on";
  EXPECT_EQ(count, 50000u);
  EXPECT_EQ(Read(io, 100000, 10, &count), ERR_CONTENT_GREW);
  EXPECT_EQ(count, 0u) << "no byte past the size it was opened with";
  EXPECT_EQ(io->system->GetPropQWord(io, PROP_OBJECT_SIZE), data.size());
  host::CloseIfOpen(io);
}

class NativeFileIo : public ::testing::Test {
 protected:
  TempDir dir_;
  TestHost host_;
};

TEST_F(NativeFileIo, OpenFailuresSayWhy) {
  ObjectRef io = reinterpret_cast<ObjectRef>(1);
  EXPECT_EQ(OpenNativeFile(host_.root(), &io, dir_.File("missing")), ERR_NOT_FOUND);
  EXPECT_EQ(io, nullptr);
  EXPECT_EQ(OpenNativeFile(host_.root(), &io, dir_.File("no-dir/x"), ACCESS_READ | ACCESS_WRITE,
                           OPEN_EXISTING | OPEN_CREATE | OPEN_TRUNCATE),
            ERR_NOT_FOUND);
  EXPECT_EQ(OpenNativeFile(host_.root(), &io, dir_.path()), ERR_UNSUPPORTED) << "a directory is no file";
  EXPECT_EQ(OpenNativeFile(host_.root(), &io, dir_.path(), ACCESS_READ | ACCESS_WRITE), ERR_UNSUPPORTED);
  EXPECT_EQ(OpenNativeFile(host_.root(), &io, ""), ERR_BAD_PARAMETER);
  EXPECT_EQ(host_.ExtraObjects(), 0u) << "a failed open leaves no object behind";
}

TEST_F(NativeFileIo, ReadOnlyFilesRefuseChanges) {
  WriteFile(dir_.File("ro"), "abc");
  ObjectRef io = nullptr;
  ASSERT_EQ(OpenNativeFile(host_.root(), &io, dir_.File("ro")), RESULT_OK);
  uint32_t count = 9;
  EXPECT_EQ(host::Io(io).SeekWrite(io, &count, 0, "x", 1), ERR_ACCESS_DENIED);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(host::Io(io).SetSize(io, 0), ERR_ACCESS_DENIED);
  EXPECT_EQ(host::Io(io).Flush(io), RESULT_OK);
  host::CloseIfOpen(io);
  EXPECT_EQ(ReadText(dir_.File("ro")), "abc");
}

TEST_F(NativeFileIo, CreateWriteGapsAndTruncate) {
  const std::string path = dir_.File("new.bin");
  ObjectRef io = nullptr;
  ASSERT_EQ(
      OpenNativeFile(host_.root(), &io, path, ACCESS_READ | ACCESS_WRITE, OPEN_EXISTING | OPEN_CREATE | OPEN_TRUNCATE),
      RESULT_OK);
  uint32_t count = 0;
  EXPECT_EQ(host::Io(io).SeekWrite(io, &count, 4, "tail", 4), RESULT_OK);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(host::Io(io).SeekWrite(io, &count, 0, "ab", 2), RESULT_OK);
  EXPECT_EQ(ReadText(path), std::string("ab\0\0tail", 8)) << "the gap reads as zeros";
  EXPECT_EQ(host::Io(io).SetSize(io, 5), RESULT_OK);
  EXPECT_EQ(host::Io(io).SetSize(io, 7), RESULT_OK);
  EXPECT_EQ(ReadText(path), std::string("ab\0\0t\0\0", 7));
  host::CloseIfOpen(io);

  ASSERT_EQ(
      OpenNativeFile(host_.root(), &io, path, ACCESS_READ | ACCESS_WRITE, OPEN_EXISTING | OPEN_CREATE | OPEN_TRUNCATE),
      RESULT_OK);
  EXPECT_EQ(io->system->GetPropQWord(io, PROP_OBJECT_SIZE), 0u) << "open mode 7 truncates an existing file";
  host::CloseIfOpen(io);
}

TEST_F(NativeFileIo, PropertiesDescribeTheFile) {
  const std::string path = dir_.File("data.a03");
  WriteFile(path, "12345");
  ObjectRef io = nullptr;
  ASSERT_EQ(OpenNativeFile(host_.root(), &io, path, ACCESS_READ, OPEN_EXISTING), RESULT_OK);
  EXPECT_EQ(StringProperty(io, PROP_OBJECT_NAME), "data.a03");
  EXPECT_EQ(StringProperty(io, PROP_OBJECT_PATH), path);
  EXPECT_EQ(host::GetPropDWord(io, PROP_IO_ORIGIN), IO_ORIGIN_NATIVE_FILE);
  EXPECT_EQ(host::GetPropDWord(io, PROP_ACCESS_MODE), ACCESS_READ);
  EXPECT_EQ(host::GetPropDWord(io, PROP_OPEN_MODE), OPEN_EXISTING);
  EXPECT_EQ(io->system->GetPropQWord(io, PROP_OBJECT_SIZE), 5u);

  // The getter convention: a size query, then a too small buffer left alone.
  uint32_t length = 0;
  EXPECT_EQ(io->system->GetPropBuffer(io, &length, PROP_OBJECT_NAME, nullptr, 0), RESULT_OK);
  EXPECT_EQ(length, 9u) << "the length counts the NUL";
  char small[8];
  std::memset(small, '#', sizeof small);
  EXPECT_EQ(io->system->GetPropBuffer(io, &length, PROP_OBJECT_NAME, small, sizeof small), ERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(length, 9u);
  EXPECT_EQ(std::string(small, sizeof small), std::string(8, '#'));
  char exact[9];
  EXPECT_EQ(io->system->GetPropBuffer(io, &length, PROP_OBJECT_NAME, exact, sizeof exact), RESULT_OK);
  EXPECT_STREQ(exact, "data.a03");
  host::CloseIfOpen(io);
}

TEST_F(NativeFileIo, OffsetsBeyondFourGiBDoNotWrap) {
  const std::string path = dir_.File("sparse.bin");
  ObjectRef io = nullptr;
  ASSERT_EQ(
      OpenNativeFile(host_.root(), &io, path, ACCESS_READ | ACCESS_WRITE, OPEN_EXISTING | OPEN_CREATE | OPEN_TRUNCATE),
      RESULT_OK);
  const BlockIoMethods& m = host::Io(io);
  ASSERT_EQ(m.SetSize(io, 5 * kGiB), RESULT_OK) << "needs a file system with sparse files";
  const uint64_t high = 4 * kGiB + 100;
  ASSERT_EQ(m.SeekWrite(io, nullptr, high, "HIGHHIGH", 8), RESULT_OK);
  ASSERT_EQ(m.SeekWrite(io, nullptr, 100, "low-low-", 8), RESULT_OK);
  host::CloseIfOpen(io);

  ASSERT_EQ(OpenNativeFile(host_.root(), &io, path), RESULT_OK);
  uint64_t size = 0;
  EXPECT_EQ(host::Io(io).GetSize(io, &size, 0), RESULT_OK);
  EXPECT_EQ(size, 5 * kGiB);
  char buffer[8];
  uint32_t count = 0;
  EXPECT_EQ(host::Io(io).SeekRead(io, &count, high, buffer, 8), RESULT_OK);
  EXPECT_EQ(std::string(buffer, 8), "HIGHHIGH");
  EXPECT_EQ(host::Io(io).SeekRead(io, &count, 100, buffer, 8), RESULT_OK);
  EXPECT_EQ(std::string(buffer, 8), "low-low-");
  EXPECT_EQ(host::Io(io).SeekRead(io, &count, 5 * kGiB - 3, buffer, 8), WARN_SHORT_READ);
  EXPECT_EQ(count, 3u);
  host::CloseIfOpen(io);
}

class MemoryIo : public ::testing::Test {
 protected:
  TestHost host_;
};

TEST_F(MemoryIo, AViewIsReadOnlyAndShowsTheCallersBytes) {
  char bytes[4] = {'a', 'b', 'c', 'd'};
  ObjectRef io = nullptr;
  ASSERT_EQ(host::CreateObject(host_.root(), &io, IID_BLOCK_IO, PID_MEMORY_IO), RESULT_OK);
  EXPECT_EQ(host::SetPropQWord(io, arjrt::PROP_MEMORY_VIEW_ADDRESS, reinterpret_cast<uintptr_t>(bytes)), RESULT_OK);
  EXPECT_EQ(host::SetPropQWord(io, arjrt::PROP_MEMORY_VIEW_SIZE, sizeof bytes), RESULT_OK);
  ASSERT_EQ(host::CreateObjectDone(io), RESULT_OK);
  EXPECT_EQ(host::Io(io).SeekWrite(io, nullptr, 0, "x", 1), ERR_ACCESS_DENIED);
  EXPECT_EQ(host::Io(io).SetSize(io, 1), ERR_ACCESS_DENIED);
  bytes[1] = 'B';
  char out[4];
  EXPECT_EQ(host::Io(io).SeekRead(io, nullptr, 0, out, 4), RESULT_OK);
  EXPECT_EQ(std::string(out, 4), "aBcd");
  host::CloseIfOpen(io);

  ASSERT_EQ(host::CreateObject(host_.root(), &io, IID_BLOCK_IO, PID_MEMORY_IO), RESULT_OK);
  EXPECT_EQ(host::SetPropQWord(io, arjrt::PROP_MEMORY_VIEW_SIZE, 100), RESULT_OK);
  EXPECT_EQ(host::CreateObjectDone(io), ERR_BAD_PARAMETER) << "a size without an address";
  host::CloseIfOpen(io);
}

TEST_F(MemoryIo, WritesGrowTheBufferZeroFillingGapsUpToFourGiB) {
  ObjectRef io = MakeMemoryIo(host_.root(), "abc");
  const BlockIoMethods& m = host::Io(io);
  EXPECT_EQ(m.SeekWrite(io, nullptr, 6, "xy", 2), RESULT_OK);
  char out[8];
  uint32_t count = 0;
  EXPECT_EQ(m.SeekRead(io, &count, 0, out, 8), RESULT_OK);
  EXPECT_EQ(std::string(out, 8), std::string("abc\0\0\0xy", 8));

  EXPECT_EQ(m.SeekWrite(io, &count, 4 * kGiB, "z", 1), ERR_NO_MEMORY);
  EXPECT_EQ(m.SeekWrite(io, &count, UINT64_MAX, "z", 1), ERR_NO_MEMORY) << "no offset overflow";
  EXPECT_EQ(m.SetSize(io, 4 * kGiB + 1), ERR_NO_MEMORY);
  uint64_t size = 0;
  EXPECT_EQ(m.GetSize(io, &size, 0), RESULT_OK);
  EXPECT_EQ(size, 8u) << "a refused write changes nothing";
  EXPECT_EQ(m.SetSize(io, 2), RESULT_OK);
  EXPECT_EQ(m.SeekRead(io, &count, 0, out, 8), WARN_SHORT_READ);
  EXPECT_EQ(count, 2u);
  host::CloseIfOpen(io);
}

TEST_F(MemoryIo, NameIsSettableAndOriginIsNotANativeFile) {
  ObjectRef io = MakeMemoryIo(host_.root());
  uint32_t length = 0;
  char name[16] = "#";
  EXPECT_EQ(io->system->GetPropString(io, &length, PROP_OBJECT_NAME, name, sizeof name, CP_HOST_PATHS), RESULT_OK);
  EXPECT_EQ(length, 1u);
  EXPECT_STREQ(name, "");
  ASSERT_EQ(host::SetPropBuffer(io, PROP_OBJECT_NAME, "vol.arj\0junk", 12), RESULT_OK);
  EXPECT_EQ(StringProperty(io, PROP_OBJECT_NAME), "vol.arj");
  EXPECT_EQ(host::GetPropDWord(io, PROP_IO_ORIGIN), 0u);
  host::CloseIfOpen(io);
}

}  // namespace
