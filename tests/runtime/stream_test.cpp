// The buffered stream over an I/O object: coherence of buffered reads and
// writes, seeks, the end of data, and the write-back when it closes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "runtime/services/services.h"
#include "tests/support/bytes.h"
#include "tests/support/files.h"
#include "tests/support/io_objects.h"
#include "tests/support/sample_data.h"
#include "tests/support/test_host.h"

namespace {

using namespace testing_support;

constexpr uint32_t kBuffer = 64 * 1024;

class StreamTest : public ::testing::Test {
 protected:
  ObjectRef OpenStream(ObjectRef io) {
    ObjectRef stream = nullptr;
    EXPECT_EQ(host::CreateObjectQuick(io, &stream, IID_STREAM, 0), RESULT_OK);
    return stream;
  }
  // Memory I/O holding `bytes`, with a stream on it.
  void Open(const std::string& bytes) {
    io_ = MakeMemoryIo(host_.root(), bytes);
    stream_ = OpenStream(io_);
  }
  void TearDown() override {
    host::CloseIfOpen(io_);  // closes the stream first
  }
  const StreamMethods& s() { return host::Stream(stream_); }
  uint64_t Position() {
    uint64_t position = 0;
    EXPECT_EQ(s().Seek(stream_, &position, 0, SEEK_FORWARD), RESULT_OK);
    return position;
  }
  std::string ReadAt(uint64_t offset, uint32_t size, ResultCode expected = RESULT_OK) {
    std::string buffer(size, '#');
    uint32_t count = 0;
    EXPECT_EQ(s().SeekRead(stream_, &count, offset, buffer.data(), size), expected) << "at " << offset;
    buffer.resize(count);
    return buffer;
  }
  void WriteAt(uint64_t offset, const std::string& bytes) {
    ASSERT_EQ(s().Seek(stream_, nullptr, offset, SEEK_FROM_START), RESULT_OK);
    uint32_t count = 0;
    ASSERT_EQ(s().Write(stream_, &count, bytes.data(), static_cast<uint32_t>(bytes.size())), RESULT_OK);
    ASSERT_EQ(count, bytes.size());
  }
  // What the I/O itself holds, bypassing the stream's buffer.
  std::string IoBytes() {
    uint64_t size = 0;
    EXPECT_EQ(host::Io(io_).GetSize(io_, &size, 0), RESULT_OK);
    std::string bytes(size, '\0');
    uint32_t count = 0;
    EXPECT_EQ(host::Io(io_).SeekRead(io_, &count, 0, bytes.data(), static_cast<uint32_t>(size)), RESULT_OK);
    bytes.resize(count);
    return bytes;
  }

  TempDir dir_;
  TestHost host_;
  ObjectRef io_ = nullptr;
  ObjectRef stream_ = nullptr;
};

TEST_F(StreamTest, ReadsSeeTheBytesWrittenBeforeThemThroughTheBuffer) {
  Open("abcdefgh");
  EXPECT_EQ(ReadAt(0, 4), "abcd");  // the buffer now holds the data
  WriteAt(2, "XY");
  EXPECT_EQ(ReadAt(0, 8), "abXYefgh");
  WriteAt(8, "++");  // appended to the buffered bytes
  EXPECT_EQ(ReadAt(6, 4), "gh++");
  WriteAt(200000, "far");  // outside the buffer: the dirty bytes go out first
  EXPECT_EQ(ReadAt(0, 10), "abXYefgh++");
  EXPECT_EQ(ReadAt(199999, 5, WARN_SHORT_READ), std::string("\0far", 4));
  ASSERT_EQ(s().Flush(stream_), RESULT_OK);
  const std::string io = IoBytes();
  ASSERT_EQ(io.size(), 200003u);
  EXPECT_EQ(io.substr(0, 10), "abXYefgh++");
  EXPECT_EQ(io.substr(10, 199990), std::string(199990, '\0'));
}

TEST_F(StreamTest, SeeksFromEveryOriginAndRefusalsKeepThePosition) {
  Open(std::string(100, 'x'));
  uint64_t position = 0;
  EXPECT_EQ(s().Seek(stream_, &position, 10, SEEK_FROM_START), RESULT_OK);
  EXPECT_EQ(position, 10u);
  EXPECT_EQ(s().Seek(stream_, &position, 5, SEEK_FORWARD), RESULT_OK);
  EXPECT_EQ(position, 15u);
  EXPECT_EQ(s().Seek(stream_, &position, 15, SEEK_BACKWARD), RESULT_OK);
  EXPECT_EQ(position, 0u);
  EXPECT_EQ(s().Seek(stream_, &position, 30, SEEK_FROM_END), RESULT_OK);
  EXPECT_EQ(position, 70u);

  EXPECT_EQ(s().Seek(stream_, &position, 71, SEEK_BACKWARD), ERR_BAD_PARAMETER) << "before 0";
  EXPECT_EQ(s().Seek(stream_, nullptr, 101, SEEK_FROM_END), ERR_BAD_PARAMETER) << "before 0";
  EXPECT_EQ(s().Seek(stream_, nullptr, UINT64_MAX, SEEK_FORWARD), ERR_BAD_PARAMETER) << "overflow";
  EXPECT_EQ(s().Seek(stream_, nullptr, 1, 4), ERR_BAD_PARAMETER) << "no such origin";
  EXPECT_EQ(Position(), 70u);

  // Past the end: reading finds nothing, writing extends.
  EXPECT_EQ(s().Seek(stream_, &position, 1000, SEEK_FROM_START), RESULT_OK);
  uint8_t byte = 0;
  uint32_t count = 7;
  char buffer[4];
  EXPECT_EQ(s().Read(stream_, &count, buffer, 4), ERR_END_OF_DATA);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(s().ReadByte(stream_, &byte), ERR_END_OF_DATA);
  EXPECT_EQ(s().Write(stream_, nullptr, "end", 3), RESULT_OK);
  EXPECT_EQ(s().Seek(stream_, &position, 0, SEEK_FROM_END), RESULT_OK);
  EXPECT_EQ(position, 1003u) << "the end counts bytes still in the buffer";

  EXPECT_EQ(s().SetPosition(stream_, 0x89ABCDEFu, 0x1u, 0), RESULT_OK);
  EXPECT_EQ(Position(), 0x189ABCDEFull);
  EXPECT_EQ(s().SetPosition(stream_, 0, 0, 0), RESULT_OK);
  EXPECT_EQ(Position(), 0u);
}

TEST_F(StreamTest, ReadByteAndReadWordAtTheEnd) {
  Open("\x01\x02\x03");
  uint16_t word = 0xBEEF;
  uint8_t byte = 0xEE;
  EXPECT_EQ(s().ReadWord(stream_, &word), RESULT_OK);
  EXPECT_EQ(word, 0x0201) << "little-endian";
  word = 0xBEEF;
  EXPECT_EQ(s().ReadWord(stream_, &word), ERR_END_OF_DATA) << "one byte is no word";
  EXPECT_EQ(word, 0xBEEF);
  EXPECT_EQ(s().ReadByte(stream_, &byte), RESULT_OK) << "the lone byte is still there";
  EXPECT_EQ(byte, 0x03);
  byte = 0xEE;
  EXPECT_EQ(s().ReadByte(stream_, &byte), ERR_END_OF_DATA);
  EXPECT_EQ(byte, 0xEE);
  EXPECT_EQ(s().ReadWord(stream_, &word), ERR_END_OF_DATA);
  EXPECT_EQ(word, 0xBEEF);

  // Words and dwords go out little-endian too, and come back across the
  // buffer's edge.
  ASSERT_EQ(s().Seek(stream_, nullptr, kBuffer - 1, SEEK_FROM_START), RESULT_OK);
  EXPECT_EQ(s().WriteWord(stream_, 0xA1B2), RESULT_OK);
  EXPECT_EQ(s().WriteDWord(stream_, 0x11223344u), RESULT_OK);
  ASSERT_EQ(s().Seek(stream_, nullptr, kBuffer - 1, SEEK_FROM_START), RESULT_OK);
  EXPECT_EQ(s().ReadWord(stream_, &word), RESULT_OK);
  EXPECT_EQ(word, 0xA1B2);
  EXPECT_EQ(ReadAt(kBuffer + 1, 4), "\x44\x33\x22\x11");
}

TEST_F(StreamTest, LargeAndShortReadsDeliverWhatThereIs) {
  const std::string data = AsString(RandomSample(200000, 1));
  Open(data);
  EXPECT_EQ(ReadAt(kBuffer - 6, 20), data.substr(kBuffer - 6, 20)) << "across the buffer's edge";
  // Reads that jump away from the buffered bytes load less than a buffer:
  // across that smaller fill's edge, larger than it, and at the end.
  for (const uint64_t jump : {100000u, 120000u, 180000u}) {
    EXPECT_EQ(ReadAt(jump, 30), data.substr(jump, 30)) << jump;
    EXPECT_EQ(ReadAt(jump + 4090, 20), data.substr(jump + 4090, 20)) << jump;
    EXPECT_EQ(ReadAt(jump + 9000, 6000), data.substr(jump + 9000, 6000)) << jump;
  }
  EXPECT_EQ(ReadAt(198500, 3000, WARN_SHORT_READ), data.substr(198500));
  EXPECT_EQ(ReadAt(100, 150000), data.substr(100, 150000));
  EXPECT_EQ(ReadAt(150000, 100000, WARN_SHORT_READ), data.substr(150000));
  EXPECT_EQ(Position(), 200000u) << "the position ends after the bytes read";
  EXPECT_EQ(ReadAt(199990, 100, WARN_SHORT_READ), data.substr(199990));
  EXPECT_EQ(ReadAt(200000, 100, ERR_END_OF_DATA), "");
  uint32_t count = 5;
  EXPECT_EQ(s().Read(stream_, &count, nullptr, 0), RESULT_OK);
  EXPECT_EQ(count, 0u);

  // A large write over buffered bytes must not leave the old copy readable.
  EXPECT_EQ(ReadAt(0, 10), data.substr(0, 10));
  const std::string patch = AsString(RandomSample(kBuffer + 10, 7));
  WriteAt(0, patch);
  EXPECT_EQ(ReadAt(0, 10), patch.substr(0, 10));
}

TEST_F(StreamTest, RewritingAPlaceholderAfterMoreThanABufferGivesTheRightFile) {
  const std::string path = dir_.File("out.arj");
  ASSERT_EQ(
      OpenNativeFile(host_.root(), &io_, path, ACCESS_READ | ACCESS_WRITE, OPEN_EXISTING | OPEN_CREATE | OPEN_TRUNCATE),
      RESULT_OK);
  stream_ = OpenStream(io_);
  const std::string body = AsString(RandomSample(150000, 1));
  ASSERT_EQ(s().Write(stream_, nullptr, "HDR0", 4), RESULT_OK);
  for (size_t at = 0; at < 100000; at += 1000)  // small writes, as a header writer makes them
    ASSERT_EQ(s().Write(stream_, nullptr, body.data() + at, 1000), RESULT_OK);
  ASSERT_EQ(s().Write(stream_, nullptr, body.data() + 100000, 50000), RESULT_OK);

  ASSERT_EQ(s().Seek(stream_, nullptr, 0, SEEK_FROM_START), RESULT_OK);
  char placeholder[4];
  ASSERT_EQ(s().Read(stream_, nullptr, placeholder, 4), RESULT_OK);
  EXPECT_EQ(std::string(placeholder, 4), "HDR0");
  ASSERT_EQ(s().Seek(stream_, nullptr, 4, SEEK_BACKWARD), RESULT_OK);
  ASSERT_EQ(s().Write(stream_, nullptr, "HDR1", 4), RESULT_OK);
  uint64_t end = 0;
  ASSERT_EQ(s().Seek(stream_, &end, body.size(), SEEK_FORWARD), RESULT_OK);
  EXPECT_EQ(end, 150004u);
  ASSERT_EQ(s().Write(stream_, nullptr, "END!", 4), RESULT_OK);
  host::CloseIfOpen(io_);  // the stream, a child, writes back before its file closes
  EXPECT_EQ(ReadText(path), "HDR1" + body + "END!");
}

TEST_F(StreamTest, FlushAndCloseWriteTheBufferBack) {
  Open("");
  ASSERT_EQ(s().Write(stream_, nullptr, "hello", 5), RESULT_OK);
  EXPECT_EQ(IoBytes(), "") << "small writes stay in the buffer";
  ASSERT_EQ(s().Flush(stream_), RESULT_OK);
  EXPECT_EQ(IoBytes(), "hello");
  ASSERT_EQ(s().Write(stream_, nullptr, " world", 6), RESULT_OK);
  host::CloseIfOpen(stream_);
  EXPECT_EQ(IoBytes(), "hello world");
}

TEST_F(StreamTest, OnlyAnIoObjectCanCarryAStream) {
  ObjectRef stream = reinterpret_cast<ObjectRef>(1);
  EXPECT_EQ(host::CreateObjectQuick(host_.root(), &stream, IID_STREAM, 0), ERR_NO_SOURCE);
  EXPECT_EQ(stream, nullptr);
  ObjectRef text = MakeText(host_.root(), "x");
  EXPECT_EQ(host::CreateObject(text, &stream, IID_STREAM, 0), ERR_NO_SOURCE);
  host::CloseIfOpen(text);
  EXPECT_EQ(host_.ExtraObjects(), 0u);
}

TEST_F(StreamTest, RandomOperationsMatchAPlainByteString) {
  // Mixed sizes around the buffer size, positions inside and past the end:
  // the stream must always read what a plain string model holds.
  Open("");
  std::string model;
  std::mt19937 random(20240601);
  auto pick = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
  uint64_t position = 0;
  for (int step = 0; step < 3000; ++step) {
    const uint32_t size = pick(4) == 0 ? pick(2 * kBuffer) : pick(300);
    switch (pick(4)) {
      case 0: {  // write
        const std::string bytes = AsString(RandomSample(size, step));
        ASSERT_EQ(s().Write(stream_, nullptr, bytes.data(), size), RESULT_OK);
        if (model.size() < position + size) model.resize(position + size, '\0');
        model.replace(position, size, bytes);
        position += size;
        break;
      }
      case 1: {  // read
        std::string buffer(size, '#');
        uint32_t count = 0;
        ResultCode result = s().Read(stream_, &count, buffer.data(), size);
        const std::string expected = position < model.size() ? model.substr(position, size) : "";
        ASSERT_EQ(std::string(buffer.data(), count), expected) << "step " << step;
        ASSERT_EQ(result, size == 0 || expected.size() == size ? RESULT_OK
                          : expected.empty()                   ? ERR_END_OF_DATA
                                                               : WARN_SHORT_READ);
        position += count;
        break;
      }
      case 2: {  // seek anywhere up to a little past the end
        position = pick(static_cast<uint32_t>(model.size()) + 1000);
        ASSERT_EQ(s().Seek(stream_, nullptr, position, SEEK_FROM_START), RESULT_OK);
        break;
      }
      default: {  // single bytes
        uint8_t byte = 0;
        ResultCode result = s().ReadByte(stream_, &byte);
        if (position < model.size()) {
          ASSERT_EQ(result, RESULT_OK);
          ASSERT_EQ(byte, static_cast<uint8_t>(model[position])) << "step " << step;
          ++position;
        } else {
          ASSERT_EQ(result, ERR_END_OF_DATA);
        }
      }
    }
    ASSERT_EQ(Position(), position);
  }
  ASSERT_EQ(s().Flush(stream_), RESULT_OK);
  EXPECT_TRUE(IoBytes() == model) << "the I/O holds what was written";
}

// IID_RANGE_COPY: between two native files the kernel copies the range to
// the destination stream's position, after the bytes its buffer held, and
// later reads and writes of that stream see the copy; anything else (a
// memory I/O on either side, a destination open only for reading, a source
// that ends early) is refused with what was copied, for the caller to copy
// the rest.
TEST_F(StreamTest, RangeCopyBetweenNativeFilesOrRefusedWithWhatWasCopied) {
  const std::string source_bytes = AsString(MixedSample(300000, 3));
  WriteFile(dir_.File("source"), source_bytes);
  WriteFile(dir_.File("read-only"), "");
  struct Case {
    const char* what;
    bool memory_source, memory_destination, read_only_destination;
    uint64_t offset, size;
    ResultCode expected;
    uint64_t copied;
  };
  for (const Case& c : {Case{"native files", false, false, false, 1000, 200000, RESULT_OK, 200000},
                        Case{"past the source's end", false, false, false, 250000, 60000, ERR_UNSUPPORTED, 50000},
                        Case{"a memory destination", false, true, false, 0, 10, ERR_UNSUPPORTED, 0},
                        Case{"a memory source", true, false, false, 0, 10, ERR_UNSUPPORTED, 0},
                        Case{"a read-only destination", false, false, true, 0, 10, ERR_UNSUPPORTED, 0}}) {
    SCOPED_TRACE(c.what);
    ObjectRef from_io = nullptr, to_io = nullptr;
    if (c.memory_source) from_io = MakeMemoryIo(host_.root(), source_bytes);
    else ASSERT_EQ(OpenNativeFile(host_.root(), &from_io, dir_.File("source")), RESULT_OK);
    const std::string to_path = dir_.File(c.read_only_destination ? "read-only" : "copy");
    const uint32_t access = c.read_only_destination ? ACCESS_READ : ACCESS_READ | ACCESS_WRITE;
    const uint32_t open = c.read_only_destination ? OPEN_EXISTING : OPEN_EXISTING | OPEN_CREATE | OPEN_TRUNCATE;
    if (c.memory_destination) to_io = MakeMemoryIo(host_.root());
    else ASSERT_EQ(OpenNativeFile(host_.root(), &to_io, to_path, access, open), RESULT_OK);
    ObjectRef from = OpenStream(from_io), to = OpenStream(to_io), copier = nullptr;
    ASSERT_EQ(host::CreateObjectQuick(from, &copier, IID_RANGE_COPY, PID_DEFAULT), RESULT_OK);
    if (!c.read_only_destination) {
      ASSERT_EQ(host::Stream(to).Write(to, nullptr, "HEAD", 4), RESULT_OK);  // still in the buffer
    }
    uint64_t copied = 99;
    EXPECT_EQ(host::RangeCopy(copier).CopyTo(copier, to, c.offset, c.size, &copied), c.expected);
    EXPECT_EQ(copied, c.copied);
    if (c.expected == RESULT_OK) {
      uint64_t position = 0;
      ASSERT_EQ(host::Stream(to).Seek(to, &position, 0, SEEK_FORWARD), RESULT_OK);
      EXPECT_EQ(position, 4 + c.size);
      ASSERT_EQ(host::Stream(to).Write(to, nullptr, "TAIL", 4), RESULT_OK);
      char head[8] = {};
      uint32_t count = 0;
      ASSERT_EQ(host::Stream(to).SeekRead(to, &count, 0, head, 8), RESULT_OK);
      EXPECT_EQ(std::string(head, 8), "HEAD" + source_bytes.substr(c.offset, 4)) << "the stream reads the copy";
      ASSERT_EQ(host::Stream(to).Flush(to), RESULT_OK);
      EXPECT_EQ(ReadText(to_path), "HEAD" + source_bytes.substr(c.offset, c.size) + "TAIL");
    }
    host::CloseIfOpen(from_io);
    host::CloseIfOpen(to_io);
  }
  ObjectRef io = MakeMemoryIo(host_.root()), copier = nullptr;
  EXPECT_EQ(host::CreateObjectQuick(io, &copier, IID_RANGE_COPY, PID_DEFAULT), ERR_NO_SOURCE) << "only a stream copies";
  host::CloseIfOpen(io);
  EXPECT_EQ(host_.ExtraObjects(), 0u);
}

}  // namespace
