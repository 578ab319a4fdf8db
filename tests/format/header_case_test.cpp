// Every reader of ARJ headers over the one table of crafted headers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "plugin/reader/header_reader.h"
#include "plugin/state/archiver_state.h"
#include "runtime/format/header_io.h"
#include "tests/format/header_cases.h"
#include "tests/support/archiver_fixture.h"
#include "tests/support/io_objects.h"

namespace {

using namespace testing_support;

TEST(HeaderCases, PluginReader) {
  TestHost host;
  for (const HeaderCase& c : HeaderCases()) {
    ObjectRef io = MemoryView(host.root(), c.archive);
    ObjectRef stream = nullptr;
    ASSERT_EQ(host::CreateObjectQuick(io, &stream, IID_STREAM, PID_DEFAULT), RESULT_OK);
    uint8_t fixed[kFixedHeaderSize];
    char name[kEntryNameSize] = {};
    uint32_t position = static_cast<uint32_t>(c.offset);
    EXPECT_EQ(ReadLocalHeader(stream, &position, fixed, name), c.reader) << c.name;
    if (c.reader != RESULT_OK) {
      EXPECT_EQ(position, c.offset) << c.name << ": a failed read leaves the position";
    }
    host::CloseIfOpen(io);
  }
}

TEST(HeaderCases, PluginScan) {
  TestHost host;
  for (const HeaderCase& c : HeaderCases()) {
    ArchiverFixture f(host);
    const ResultCode opened = f.OpenMemory(c.archive);
    EXPECT_EQ(opened, c.damaged ? WARN_CORRUPTED : RESULT_OK) << c.name;
    EXPECT_EQ(f.state().entry_count, c.entries) << c.name;
    EXPECT_EQ(f.state().damaged != 0, c.damaged) << c.name;
  }
}

TEST(HeaderCases, RuntimeWalkReadsAsTheTableDoes) {
  TestHost host;
  for (const HeaderCase& c : HeaderCases()) {
    ObjectRef io = MemoryView(host.root(), c.archive);
    HeaderFields header;
    EXPECT_EQ(ReadHeaderFields(arjrt::ReaderOf(io), c.offset, HeaderRole::kLocal, kTablePolicy, &header), c.walk)
        << c.name;
    if (c.walk == HeaderCause::kHeader) {
      EXPECT_EQ(header.crc_matches, c.crc_ok) << c.name;
    }
    // The walk that pairs headers with entries visits the ones the scan
    // took, reading ahead or not.
    arjrt::ReadAhead ahead(io);
    for (const ByteReader& reader : {arjrt::ReaderOf(io), ahead.reader()}) {
      const WalkEnd end = WalkLocalHeaders(reader, 0, kTablePolicy, [](const HeaderFields&) {});
      EXPECT_EQ(end.visited, c.entries) << c.name;
      EXPECT_EQ(end.cause != HeaderCause::kEndMarker, c.damaged) << c.name;
    }
    host::CloseIfOpen(io);
  }
}

// Reading ahead gives every read what the file gives it: within a block,
// across blocks, larger than one, after a jump (a smaller block: across its
// edge, larger than it) and at the end of the data.
TEST(ReadAhead, ReadsAsTheFileDoes) {
  TestHost host;
  Bytes file(150 * 1024 + 17);
  for (size_t i = 0; i < file.size(); ++i) file[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
  ObjectRef io = MemoryView(host.root(), file);
  arjrt::ReadAhead ahead(io);
  const ByteReader reader = ahead.reader();
  const struct {
    uint64_t offset;
    uint32_t size;
  } reads[] = {{0, 256},         {100, 4000},         {65536 - 10, 20},  {65536 - 10, 20}, {3, 2},
               {70000, 100000}, {file.size() - 5, 256}, {file.size(), 4}, {file.size() + 9, 4}, {5, 65536},
               {90000, 30},     {90000 + 4090, 20},   {110000, 6000},    {140000, 100},    {140000 + 4095, 2},
               {file.size() - 3000, 40}, {file.size() - 3000 + 4000, 4}, {file.size() - 2000, 3000}};
  for (const auto& r : reads) {
    SCOPED_TRACE(r.offset);
    Bytes got(r.size, 0xEE);
    const int64_t n = reader.read(reader.context, r.offset, got.data(), r.size);
    const size_t expected = r.offset >= file.size() ? 0 : std::min<size_t>(r.size, file.size() - r.offset);
    ASSERT_EQ(n, static_cast<int64_t>(expected));
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + static_cast<long>(expected),
                           file.begin() + static_cast<long>(std::min<size_t>(r.offset, file.size()))));
  }
  host::CloseIfOpen(io);
}

TEST(HeaderCases, RecoverySkipsWhatIsNotSound) {
  TestHost host;
  for (const HeaderCase& c : HeaderCases()) {
    ObjectRef io = MemoryView(host.root(), c.archive);
    RecoveryPlan plan;
    EXPECT_EQ(arjrt::PlanRecovery(io, c.archive.size(), &plan), RESULT_OK) << c.name;
    const bool skips_here = !plan.skipped.empty() && plan.skipped[0].offset == c.offset;
    EXPECT_EQ(skips_here, c.recovery_skips) << c.name;
    EXPECT_TRUE(plan.skipped.empty() || skips_here) << c.name << ": nothing else is skipped";
    host::CloseIfOpen(io);
  }
}

TEST(HeaderCases, EveryDivergenceIsNamed) {
  for (const HeaderCase& c : HeaderCases()) {
    const bool table_takes_it = c.reader == RESULT_OK;
    const bool recovery_takes_it = !c.recovery_skips && c.walk == HeaderCause::kHeader;
    if (table_takes_it != recovery_takes_it) EXPECT_FALSE(c.divergence.empty()) << c.name;
    else EXPECT_TRUE(c.divergence.empty()) << c.name << ": no divergence to explain";
  }
}

}  // namespace
