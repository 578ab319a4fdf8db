// Rebuilds that cannot succeed: they report the failing step's result and
// never end what they wrote with an end marker.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "plugin/format/arj_layout.h"
#include "plugin/rebuild/copy_range.h"
#include "plugin/rebuild/create_encoder.h"
#include "plugin/rebuild/time_stamp.h"
#include "plugin/state/process_state.h"
#include "runtime/services/change_list.h"
#include "tests/support/archive_parser.h"
#include "tests/support/archiver_fixture.h"
#include "tests/support/bytes.h"
#include "tests/support/faulty_io.h"
#include "tests/support/files.h"
#include "tests/support/io_objects.h"
#include "tests/support/rebuild_harness.h"
#include "tests/support/refusing_host.h"
#include "tests/support/sample_data.h"
#include "tests/support/test_host.h"

namespace testing_support {
namespace {

ObjectRef Faulty(TestHost& host, ObjectRef parent, const Bytes& data, const std::string& name = "") {
  RegisterFaultyIo(host.root());  // once; later calls are refused as duplicates
  ObjectRef io = nullptr;
  EXPECT_EQ(host::CreateObjectQuick(parent, &io, IID_BLOCK_IO, PID_FAULTY_IO), RESULT_OK);
  FaultyBytes(io) = data;
  if (!name.empty()) {
    EXPECT_EQ(host::SetPropBuffer(io, PROP_OBJECT_NAME, name.c_str(), static_cast<uint32_t>(name.size() + 1)),
              RESULT_OK);
  }
  return io;
}

ResultCode RebuildIntoIo(ArchiverFixture& f, ObjectRef list, ObjectRef dest) {
  return host::Archiver(f.archiver()).Rebuild(f.archiver(), list, dest);
}

TEST(RebuildFailure, AnEncoderThatCannotWriteStopsTheRebuildPartWay) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenMemory(DataFile("method1.arj")), RESULT_OK);
  ObjectRef list = NewChangeList(host);
  for (uint64_t k = 1; k <= 3; ++k)
    EXPECT_EQ(arjrt::ChangeListReplace(list, k, Hand(MemoryContent(list, MixedSample(300000, 1)))), RESULT_OK);
  // The output refuses bytes past the second entry's first 100 KiB.
  ObjectRef dest = Faulty(host, host.root(), {});
  EXPECT_EQ(host::SetPropQWord(dest, PROP_FAULT_WRITE_LIMIT, 250000), RESULT_OK);
  EXPECT_EQ(RebuildIntoIo(f, list, dest), ERR_IO);
  const ParsedArchive w = ParseArchive(FaultyBytes(dest));
  EXPECT_FALSE(w.ended);
  // The entry cut short is at most its header written ahead, unsealed: no
  // reader takes it for a whole entry.
  const auto sealed =
      std::count_if(w.entries.begin(), w.entries.end(), [](const ParsedEntry& e) { return e.header_crc_ok; });
  EXPECT_LE(sealed, 1);
  host::CloseIfOpen(dest);
  host::CloseIfOpen(list);
}

// An encoder that did not take its streams or method would write something
// other than the entry: the rebuild stops with the host's answer.
TEST(RebuildFailure, AnEncoderSettingTheHostRefusesStopsIt) {
  for (PropId prop : {PROP_CODEC_OUTPUT, PROP_CODEC_INPUT, PROP_CODEC_METHOD}) {
    SCOPED_TRACE(::testing::Message() << "property 0x" << std::hex << prop);
    TestHost host;
    ArchiverFixture f(host);
    ASSERT_EQ(f.OpenMemory(DataFile("method1.arj")), RESULT_OK);
    ObjectRef list = NewChangeList(host);
    ASSERT_EQ(arjrt::ChangeListReplace(list, 2, Hand(MemoryContent(list, MixedSample(5000, 6)))), RESULT_OK);
    Bytes out;
    {
      RefusingHost refusing(f.archiver());
      refusing.RefuseProperty(prop);
      EXPECT_EQ(RebuildInto(f, list, &out), kRefused);
      EXPECT_EQ(refusing.refusals(), 1u);
    }
    EXPECT_FALSE(ParseArchive(out).ended);
    EXPECT_EQ(ParseArchive(out).entries.size(), 1u) << "the entry before the replaced one";
    host::CloseIfOpen(list);
  }
}

// Whatever byte the output stops taking, the rebuild fails: a full disk
// never leaves a short archive behind a success.
TEST(RebuildFailure, AFullOutputAtAnyPointFails) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenMemory(DataFile("method0.arj")), RESULT_OK);
  Bytes whole;
  {
    ObjectRef list = NewChangeList(host);
    EXPECT_EQ(arjrt::ChangeListReplace(list, 2, Hand(MemoryContent(list, MixedSample(5000, 3)))), RESULT_OK);
    EXPECT_EQ(arjrt::ChangeListAdd(list, Hand(MemoryContent(list, MixedSample(7000, 4), "new.bin"))), RESULT_OK);
    ASSERT_EQ(RebuildInto(f, list, &whole), RESULT_OK);
    host::CloseIfOpen(list);
  }
  for (uint64_t limit = 0; limit < whole.size(); limit += 997) {
    SCOPED_TRACE(limit);
    ObjectRef list = NewChangeList(host);
    EXPECT_EQ(arjrt::ChangeListReplace(list, 2, Hand(MemoryContent(list, MixedSample(5000, 3)))), RESULT_OK);
    EXPECT_EQ(arjrt::ChangeListAdd(list, Hand(MemoryContent(list, MixedSample(7000, 4), "new.bin"))), RESULT_OK);
    ObjectRef dest = Faulty(host, host.root(), {});
    EXPECT_EQ(host::SetPropQWord(dest, PROP_FAULT_WRITE_LIMIT, limit), RESULT_OK);
    EXPECT_TRUE(Failed(RebuildIntoIo(f, list, dest)));
    host::CloseIfOpen(dest);
    host::CloseIfOpen(list);
  }
}

TEST(RebuildFailure, ASourceThatCannotBeReadIsReported) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenMemory(DataFile("method1.arj")), RESULT_OK);
  ObjectRef list = NewChangeList(host);
  ObjectRef source = Faulty(host, list, MixedSample(50000, 5));
  EXPECT_EQ(host::SetPropQWord(source, PROP_FAULT_READ_LIMIT, 20000), RESULT_OK);
  EXPECT_EQ(arjrt::ChangeListReplace(list, 3, Hand(source)), RESULT_OK);
  Bytes out;
  EXPECT_EQ(RebuildInto(f, list, &out), ERR_IO);
  EXPECT_FALSE(ParseArchive(out).ended);
  EXPECT_EQ(ParseArchive(out).entries.size(), 2u);
  host::CloseIfOpen(list);
}

TEST(RebuildFailure, ContentOf4GiBOrMoreIsRefusedBeforeItsEntryIsWritten) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenMemory(DataFile("method1.arj")), RESULT_OK);
  ObjectRef list = NewChangeList(host);
  ObjectRef huge = Faulty(host, list, ToBytes("tiny"), "huge.bin");
  EXPECT_EQ(host::SetPropQWord(huge, PROP_FAULT_CLAIMED_SIZE, uint64_t{1} << 32), RESULT_OK);
  EXPECT_EQ(arjrt::ChangeListAdd(list, Hand(huge)), RESULT_OK);
  Bytes out;
  EXPECT_EQ(RebuildInto(f, list, &out), ERR_LIMIT_EXCEEDED);
  const Bytes original = DataFile("method1.arj");
  EXPECT_EQ(out, Bytes(original.begin(), original.end() - 4)) << "every old entry, nothing of the new one";
  host::CloseIfOpen(list);
}

TEST(RebuildFailure, AllocationFailureWritesNothing) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenMemory(DataFile("method1.arj")), RESULT_OK);
  ObjectRef list = NewChangeList(host);
  host.runtime().FailAllocation(1);
  Bytes out;
  EXPECT_EQ(RebuildInto(f, list, &out), ERR_NO_MEMORY);
  EXPECT_TRUE(out.empty());
  host.runtime().FailAllocation(0);
  EXPECT_EQ(RebuildInto(f, list, &out), RESULT_OK);
  host::CloseIfOpen(list);
}

TEST(RebuildRefusal, SeveralVolumesOrSplitEntriesAreUnsupported) {
  TestHost host;
  ArchiverFixture f(host);
  ASSERT_EQ(f.OpenFile(SourcePath("tests/data/split.arj"), 1), RESULT_OK);
  ObjectRef list = NewChangeList(host);
  Bytes out;
  EXPECT_EQ(RebuildInto(f, list, &out), ERR_UNSUPPORTED);
  EXPECT_TRUE(out.empty());
  host::CloseIfOpen(list);
}

TEST(RebuildRefusal, AnAbsurdHeaderSpanIsCorruptedAndNothingIsWritten) {
  for (int fault = 0; fault < 4; ++fault) {
    SCOPED_TRACE(fault);
    TestHost host;
    ArchiverFixture f(host);
    ASSERT_EQ(f.OpenMemory(DataFile("method1.arj")), RESULT_OK);
    EntryRecord& e = f.state().entries[1];
    if (fault == 0) e.header_offset = 0;  // as the volume chain leaves an attached entry
    if (fault == 1) e.data_offset = e.header_offset - 1;  // the span would wrap
    if (fault == 2) e.data_offset = e.header_offset + 10;  // shorter than its own basic header
    if (fault == 3) StoreDWord(e.fixed_header + fixed_header::kPackedSize, 0xFFFFFF00u);  // past the archive's end
    ObjectRef list = NewChangeList(host);
    Bytes out;
    EXPECT_EQ(RebuildInto(f, list, &out), ERR_CORRUPTED);
    EXPECT_TRUE(out.empty());
    host::CloseIfOpen(list);
  }
}

TEST(CopyRangeShortSource, IsCorruptedNotSuccess) {
  TestHost host;
  ObjectRef src = MemoryContent(host.root(), MixedSample(10000, 9));
  ObjectRef dst = MemoryContent(host.root(), {});
  ObjectRef in = nullptr, outs = nullptr;
  ASSERT_EQ(host::CreateObjectQuick(src, &in, IID_STREAM, PID_DEFAULT), RESULT_OK);
  ASSERT_EQ(host::CreateObjectQuick(dst, &outs, IID_STREAM, PID_DEFAULT), RESULT_OK);
  uint8_t buffer[kCopyChunk];
  OutputStream out{outs, 0};
  EXPECT_EQ(CopyRange(buffer, in, 0, 10000, out), RESULT_OK);
  EXPECT_EQ(out.position, 10000u);
  EXPECT_EQ(CopyRange(buffer, in, 5000, 6000, out), ERR_CORRUPTED);
  host::CloseIfOpen(src);
  host::CloseIfOpen(dst);
}

// A host whose CreateObject answers with a result and maybe an object:
// a warning without an object must not be taken for an encoder.
TEST(CreateEncoderAnswers, AWarningWithoutAnObjectIsAFailure) {
  static ResultCode answer;
  static ObjectRef handed;
  SystemMethods system{};
  system.CreateObject = +[](ObjectRef, ObjectRef* out, uint32_t, uint32_t, uint32_t) {
    *out = handed;
    return answer;
  };
  HostObject parent{nullptr, &system, nullptr};
  struct Case {
    ResultCode answer;
    ResultCode expected;
  };
  for (const Case& c : {Case{WARN_CORRUPTED, ERR_NOT_INITIALIZED}, Case{RESULT_OK, ERR_NOT_INITIALIZED},
                        Case{ERR_NO_MEMORY, ERR_NO_MEMORY}}) {
    SCOPED_TRACE(c.answer);
    answer = c.answer;
    handed = nullptr;
    ObjectRef codec = reinterpret_cast<ObjectRef>(&parent);  // must be emptied
    EXPECT_EQ(CreateEncoder(&parent, 1, &codec, nullptr, nullptr), c.expected);
    EXPECT_EQ(codec, nullptr);
  }
}

TEST(TimeStamps, FollowTheDataModel) {
  DosStamp s = DosStampOfFields(2024, 2, 29, 23, 59, 59);
  EXPECT_EQ(s.time, 23 * 2048 + 59 * 32 + 29);
  EXPECT_EQ(s.date, 44 * 512 + 2 * 32 + 29);
  // A calendar that stores nothing leaves 1990-01-01 00:00:00.
  const HostFunction saved = plugin_process::split_time;
  plugin_process::split_time = reinterpret_cast<HostFunction>(
      +[](const void*, int32_t*, int32_t*, int32_t*, int32_t*, int32_t*, int32_t*, void*) -> ResultCode {
        return RESULT_OK;
      });
  s = DosTimestampNow();
  plugin_process::split_time = saved;
  EXPECT_EQ(s.date, 0x1421);
  EXPECT_EQ(s.time, 0);
}

// What a failing clock or calendar left in its outputs is not taken for a
// time: the stamp falls back to the first DOS date, or to 1990-01-01.
TEST(TimeStamps, AFailingClockOrCalendarLeavesNothingOfItsOwn) {
  TestHost host;  // resolves the host's time functions
  const HostFunction saved_clock = plugin_process::current_time;
  plugin_process::current_time = reinterpret_cast<HostFunction>(+[](void* time_value) -> ResultCode {
    std::memset(time_value, 0x7F, 8);
    return ERR_UNSUPPORTED;
  });
  DosStamp s = DosTimestampNow();
  plugin_process::current_time = saved_clock;
  EXPECT_EQ(s.date, (0 << 9) | (1 << 5) | 1);
  EXPECT_EQ(s.time, 0);
  const HostFunction saved_calendar = plugin_process::split_time;
  plugin_process::split_time =
      reinterpret_cast<HostFunction>(+[](const void*, int32_t* year, int32_t* month, int32_t*, int32_t* hour, int32_t*,
                                         int32_t*, void*) -> ResultCode {
        *year = 2001, *month = 7, *hour = 13;
        return ERR_UNSUPPORTED;
      });
  s = DosTimestampNow();
  plugin_process::split_time = saved_calendar;
  EXPECT_EQ(s.date, 0x1421);
  EXPECT_EQ(s.time, 0);
}

TEST(TimeStamps, AreUnixSecondsForUnixHostsAndDosTimeOtherwise) {
  TestHost host;  // resolves the host's time functions
  uint8_t header[kFixedHeaderSize] = {};
  header[fixed_header::kHostOs] = 2;
  StampUnixSeconds(header, 1700000000);
  EXPECT_EQ(LoadDWord(header + fixed_header::kTime), 1700000000u);
  header[fixed_header::kHostOs] = 0;
  StampUnixSeconds(header, 0);  // before 1980: held to the first stamp DOS can name
  EXPECT_EQ(LoadWord(header + fixed_header::kDate), (0 << 9) | (1 << 5) | 1);
}

}  // namespace
}  // namespace testing_support
