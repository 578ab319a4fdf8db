#include "plugin/reader/header_reader.h"

#include <gtest/gtest.h>

#include <cstring>

#include "plugin/state/archiver_state.h"
#include "plugin/format/arj_layout.h"
#include "runtime/services/services.h"
#include "tests/support/archive_builder.h"
#include "tests/support/test_host.h"

namespace {

using namespace testing_support;

// A memory I/O over `bytes` and a stream over it.
class Source {
 public:
  Source(TestHost& host, const Bytes& bytes) : bytes_(bytes) {
    EXPECT_EQ(host::CreateObject(host.root(), &io_, IID_BLOCK_IO, PID_MEMORY_IO), RESULT_OK);
    EXPECT_EQ(host::SetPropQWord(io_, arjrt::PROP_MEMORY_VIEW_ADDRESS, reinterpret_cast<uintptr_t>(bytes_.data())),
              RESULT_OK);
    EXPECT_EQ(host::SetPropQWord(io_, arjrt::PROP_MEMORY_VIEW_SIZE, bytes_.size()), RESULT_OK);
    EXPECT_EQ(host::CreateObjectDone(io_), RESULT_OK);
    EXPECT_EQ(host::CreateObjectQuick(io_, &stream_, IID_STREAM, 0), RESULT_OK);
  }
  ~Source() { host::CloseIfOpen(io_); }
  ObjectRef io() const { return io_; }
  ObjectRef stream() const { return stream_; }

 private:
  Bytes bytes_;
  ObjectRef io_ = nullptr;
  ObjectRef stream_ = nullptr;
};

Bytes RecognitionHeader(uint8_t id0, uint8_t id1, uint16_t basic_size, uint8_t min_version) {
  Bytes b(40, 0);
  b[0] = id0, b[1] = id1;
  b[2] = static_cast<uint8_t>(basic_size), b[3] = static_cast<uint8_t>(basic_size >> 8);
  b[6] = min_version;
  return b;
}

Bytes Prefix(Bytes b, size_t n) {
  b.resize(n);
  return b;
}

// A main header asking for another minimum version than 1 is refused
// (arj reads any: ours is the louder verdict).
TEST(Recognize, JudgesIdSizeAndVersionOfTheFirstBytesRead) {
  TestHost host;
  const struct {
    Bytes bytes;
    bool recognized;
  } cases[] = {
      {RecognitionHeader(0x60, 0xEA, 2599, 1), true},
      {RecognitionHeader(0x60, 0xEA, 0, 1), true},
      {RecognitionHeader(0x60, 0xEA, 2600, 1), true},  // the largest basic header arj reads
      {RecognitionHeader(0x60, 0xEA, 2601, 1), false},
      {RecognitionHeader(0x60, 0xEA, 100, 0), false},
      {RecognitionHeader(0x60, 0xEA, 100, 2), false},
      {RecognitionHeader(0x60, 0xEA, 100, 255), false},
      {RecognitionHeader(0xEA, 0x60, 100, 1), false},
      {Prefix(RecognitionHeader(0x60, 0xEA, 100, 1), 33), false},
      {Bytes{0x60, 0xEA}, false},
      {Bytes{}, false},
  };
  int i = 0;
  for (const auto& c : cases) {
    Source source(host, c.bytes);
    EXPECT_EQ(Recognize(source.io()), c.recognized ? RESULT_OK : ERR_NOT_RECOGNIZED) << "case " << i++;
  }
}

TEST(MeasureMainHeader, CountsStringsAndExtendedHeadersAsRead) {
  TestHost host;
  HeaderSpec fields;
  fields.name = "abcde";
  fields.file_type = 2;
  Bytes plain = Concat({BuildHeader(fields), EndMarker()});
  fields.extended = {Bytes(10, 7)};
  Bytes extended = Concat({BuildHeader(fields), EndMarker()});
  uint32_t length = 0;
  Source a(host, plain);
  EXPECT_EQ(MeasureMainHeader(a.stream(), &length), RESULT_OK);
  EXPECT_EQ(length, 47u);
  Source b(host, extended);
  EXPECT_EQ(MeasureMainHeader(b.stream(), &length), RESULT_OK);
  EXPECT_EQ(length, 63u);
}

TEST(MeasureMainHeader, AHeaderThatDoesNotEndWhereItShouldIsDamaged) {
  TestHost host;
  HeaderSpec fields;
  fields.file_type = 2;
  Bytes whole = BuildHeader(fields);
  // Cut inside the extended-header chain: the chain's end is never read.
  Bytes cut(whole.begin(), whole.end() - 1);
  // A name that runs past the basic header.
  HeaderSpec long_name = fields;
  long_name.basic_size_override = 33;
  // An extended header that claims more bytes than the volume holds.
  HeaderSpec huge_ext = fields;
  huge_ext.extended = {Bytes(8, 1)};
  Bytes huge = BuildHeader(huge_ext);
  size_t ext_at = huge.size() - 2 - 4 - 8 - 2;
  huge[ext_at] = 0xFF, huge[ext_at + 1] = 0xFF;
  for (const Bytes& bad : {cut, BuildHeader(long_name), huge, Bytes(40, 0)}) {
    Source s(host, bad);
    uint32_t length = 12345;
    EXPECT_EQ(MeasureMainHeader(s.stream(), &length), ERR_CORRUPTED);
    EXPECT_EQ(length, 12345u);
  }
}

TEST(ReadLocalHeader, FindsDataAfterTheExtendedHeadersAndStepsOverIt) {
  TestHost host;
  HeaderSpec fields;
  fields.name = "ab";
  fields.first_header_size = 30;
  fields.basic_size_override = 40;  // 30 + "ab" + NUL + comment NUL = 34; 6 bytes of slack
  fields.extended = {Bytes(6, 1)};
  fields.packed_override = 1000;
  Bytes header = BuildHeader(fields);
  header.insert(header.begin() + 4 + 34, 6, 0);  // make the basic header really 40 bytes
  Source s(host, Concat({Bytes(47, 0), header, Bytes(1200, 0)}));
  uint8_t fixed[kFixedHeaderSize];
  char name[kEntryNameSize];
  uint32_t position = 47;
  ASSERT_EQ(ReadLocalHeader(s.stream(), &position, fixed, name), RESULT_OK);
  EXPECT_STREQ(name, "ab");
  EXPECT_EQ(position, 1109u) << "data at 95 + 2 + 6 + 4 + 2 = 109, next header 1000 bytes later";
}

TEST(ReadLocalHeader, LongNamesShortFixedPartsAndWrappingSizes) {
  TestHost host;
  uint8_t fixed[kFixedHeaderSize];
  char name[kEntryNameSize];
  memset(name, 'Z', sizeof name);
  HeaderSpec long_name = StoredEntry(std::string(600, 'n'), "data");
  Bytes a = Concat({BuildHeader(long_name), EndMarker()});
  Source sa(host, a);
  uint32_t position = 0;
  ASSERT_EQ(ReadLocalHeader(sa.stream(), &position, fixed, name), RESULT_OK);
  EXPECT_EQ(std::strlen(name), 509u);
  EXPECT_EQ(position, a.size() - 4) << "the basic header size, not the name, decides";

  HeaderSpec short_fixed = StoredEntry("abc", "xy");
  short_fixed.first_header_size = 26;
  Source sb(host, Concat({BuildHeader(short_fixed), EndMarker()}));
  position = 0;
  ASSERT_EQ(ReadLocalHeader(sb.stream(), &position, fixed, name), RESULT_OK);
  EXPECT_STREQ(name, "abc");

  // Packed sizes that would carry the next position past 4 GiB.
  HeaderSpec wrap = StoredEntry("w", "");
  wrap.packed_override = 0xFFFFFFF0;
  Source sc(host, Concat({BuildHeader(wrap), EndMarker()}));
  position = 0;
  EXPECT_EQ(ReadLocalHeader(sc.stream(), &position, fixed, name), ERR_CORRUPTED);
  EXPECT_EQ(position, 0u);
}

}  // namespace
