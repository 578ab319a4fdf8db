// The joined I/O: ranges of a base read as one stream, hostile ranges and
// offsets refused; and the archive API reading damaged archives through it.
#include <gtest/gtest.h>

#include <random>

#include "runtime/api/archive.h"
#include "runtime/services/services.h"
#include "tests/support/api_status.h"
#include "tests/support/archive_builder.h"
#include "tests/support/bytes.h"
#include "tests/support/files.h"
#include "tests/support/io_objects.h"
#include "tests/support/test_host.h"

namespace {

using namespace testing_support;
using arjrt::JoinedRange;

// A joined I/O over `base`; the result of CreateObjectDone in `*done`.
ObjectRef Joined(ObjectRef parent, ObjectRef base, const std::vector<JoinedRange>& ranges, ResultCode* done,
                 ResultCode* set = nullptr) {
  ObjectRef io = nullptr;
  EXPECT_EQ(host::CreateObject(parent, &io, IID_BLOCK_IO, arjrt::PID_JOINED_IO), RESULT_OK);
  EXPECT_EQ(host::SetPropObject(io, arjrt::PROP_JOINED_BASE, base), RESULT_OK);
  ResultCode r = io->system->SetPropBuffer(io, nullptr, arjrt::PROP_JOINED_RANGES, ranges.data(),
                                           static_cast<uint32_t>(ranges.size() * sizeof(JoinedRange)));
  if (set != nullptr) *set = r;
  *done = host::CreateObjectDone(io);
  return io;
}

TEST(JoinedIo, ReadsTheRangesInOrderAcrossTheirSeams) {
  TestHost host;
  const Bytes base = ToBytes("0123456789abcdefghij");
  ObjectRef view = MemoryView(host.root(), base);
  ResultCode done = 0;
  ObjectRef io = Joined(host.root(), view, {{2, 3}, {10, 0}, {15, 5}, {0, 1}}, &done);
  ASSERT_EQ(done, RESULT_OK);
  EXPECT_EQ(ReadAll(io), ToBytes("234fghij0"));
  // Every start and length, one read each: what the plain concatenation holds.
  const std::string whole = "234fghij0";
  for (uint32_t from = 0; from <= whole.size() + 1; ++from)
    for (uint32_t size = 0; size <= whole.size() + 2; ++size) {
      char buffer[16] = {};
      uint32_t count = 99;
      const ResultCode r = host::Io(io).SeekRead(io, &count, from, buffer, size);
      const size_t expected = from >= whole.size() ? 0 : std::min<size_t>(size, whole.size() - from);
      EXPECT_EQ(count, expected) << from << "+" << size;
      EXPECT_EQ(std::string(buffer, count), whole.substr(std::min<size_t>(from, whole.size()), expected));
      EXPECT_EQ(r, size == 0 ? RESULT_OK : expected == size ? RESULT_OK : expected ? WARN_SHORT_READ : ERR_END_OF_DATA);
    }
  uint32_t count = 1;
  char byte;
  EXPECT_EQ(host::Io(io).SeekRead(io, &count, UINT64_MAX, &byte, 1), ERR_END_OF_DATA);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(host::Io(io).SeekWrite(io, &count, 0, &byte, 1), ERR_ACCESS_DENIED);
  const JoinedRange later{0, 1};
  EXPECT_EQ(io->system->SetPropBuffer(io, nullptr, arjrt::PROP_JOINED_RANGES, &later, sizeof later),
            ERR_ACCESS_DENIED)
      << "the layout is fixed once created";
  host::CloseIfOpen(io);
  host::CloseIfOpen(view);
}

TEST(JoinedIo, RefusesRangesThatWrapOrLeaveTheBase) {
  TestHost host;
  const Bytes base(100, 7);
  ObjectRef view = MemoryView(host.root(), base);
  const std::vector<std::vector<JoinedRange>> beyond = {
      {{0, 101}}, {{100, 1}}, {{UINT64_MAX, 1}}, {{1, UINT64_MAX}}, {{0, 50}, {UINT64_MAX - 10, 20}}};
  for (const auto& ranges : beyond) {
    ResultCode done = 0, set = 0;
    ObjectRef io = Joined(host.root(), view, ranges, &done, &set);
    EXPECT_TRUE(Failed(set) || Failed(done)) << "refused when set, or when created";
    host::CloseIfOpen(io);
  }
  // A total that would pass 64 bits, a size not made of whole ranges, too many ranges.
  ObjectRef io = nullptr;
  ASSERT_EQ(host::CreateObject(host.root(), &io, IID_BLOCK_IO, arjrt::PID_JOINED_IO), RESULT_OK);
  const JoinedRange huge[2] = {{0, UINT64_MAX - 5}, {0, 10}};
  EXPECT_EQ(io->system->SetPropBuffer(io, nullptr, arjrt::PROP_JOINED_RANGES, huge, sizeof huge), ERR_BAD_PARAMETER);
  EXPECT_EQ(io->system->SetPropBuffer(io, nullptr, arjrt::PROP_JOINED_RANGES, huge, sizeof huge - 1),
            ERR_BAD_PARAMETER);
  std::vector<JoinedRange> many(arjrt::kMaxJoinedRanges + 1, JoinedRange{0, 1});
  EXPECT_EQ(io->system->SetPropBuffer(io, nullptr, arjrt::PROP_JOINED_RANGES, many.data(),
                                      static_cast<uint32_t>(many.size() * sizeof(JoinedRange))),
            ERR_LIMIT_EXCEEDED);
  EXPECT_TRUE(Failed(host::CreateObjectDone(io))) << "no base";
  host::CloseIfOpen(io);
  host::CloseIfOpen(view);
}

// Random damage of every kind over a sound archive: recovery must never
// read outside its buffers, and never list more than was there.
TEST(JoinedIo, RecoveryOverRandomlyDamagedArchives) {
  arjhost::Host host;
  ASSERT_TRUE(IsOk(host.LoadPlugin(BuildPath("libarj_plugin.so"))));
  std::vector<Bytes> parts{MainHeader()};
  for (char c = 'a'; c < 'a' + 12; ++c)
    parts.push_back(BuildHeader(StoredEntry(std::string(1, c), std::string(40 + (c - 'a') * 13, c))));
  parts.push_back(EndMarker());
  const Bytes sound = Concat(parts);
  std::mt19937 random(385);
  arjhost::OpenOptions options;
  options.recover = true;
  for (int round = 0; round < 300; ++round) {
    Bytes bytes = sound;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits && bytes.size() > parts[0].size(); ++e) {
      const size_t at = parts[0].size() + random() % (bytes.size() - parts[0].size());
      switch (random() % 3) {
        case 0: bytes[at] ^= static_cast<uint8_t>(1 + random() % 255); break;
        case 1: bytes.insert(bytes.begin() + static_cast<long>(at), {0x60, 0xEA, 0x28, 0x00}); break;
        default: bytes.resize(at); break;
      }
    }
    std::unique_ptr<arjhost::Archive> archive =
        arjhost::Archive::OpenMemory(host, bytes.data(), bytes.size(), options).archive;
    if (!archive) continue;
    uint64_t skipped_end = 0;
    for (const arjhost::SkippedRange& s : archive->state().skipped) {
      EXPECT_GE(s.offset, skipped_end) << "ranges in order, not overlapping";
      EXPECT_LE(s.offset + s.size, bytes.size());
      skipped_end = s.offset + s.size;
    }
    const std::vector<arjhost::EntryInfo> entries = archive->Entries();
    EXPECT_LE(entries.size(), 12u);
    for (const arjhost::EntryInfo& e : entries)
      archive->Extract(e, [](const uint8_t*, size_t) { return true; }, nullptr);
  }
}

}  // namespace
