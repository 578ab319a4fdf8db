// The ARJ-PROTECT record of an archive arj made (tests/data/protected.arj):
// read, written again byte for byte, damaged blocks found and rebuilt from
// either parity or both, and what is beyond the record left unchanged.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "plugin/format/protect_record.h"
#include "tests/support/files.h"

namespace {

using namespace testing_support;
using arjhost::format::kProtectBlockSize;
using arjhost::format::kProtectRecordSize;
using arjhost::format::ProtectRecord;

constexpr size_t kSector = 1024;
// Where the sectors' bodies start in the record: after "PSig", a word and a CRC.
size_t SectorBody(size_t sector) { return 6 + sector * kSector + 4; }

ProtectRecord ReadRecord(const Bytes& archive) {
  ProtectRecord record;
  EXPECT_EQ(arjhost::format::ReadProtectRecord(archive.data(), archive.size(), &record), "");
  return record;
}

TEST(ProtectRecord, ReadsArjsRecordAndWritesItAgain) {
  const Bytes archive = DataFile("protected.arj");
  const ProtectRecord record = ReadRecord(archive);
  EXPECT_EQ(record.protected_length, archive.size() - kProtectRecordSize);
  EXPECT_TRUE(record.first_checks && record.second_checks && !record.damaged);
  EXPECT_EQ(record.row.size(), 1031u);
  EXPECT_EQ(record.checks.size(), (record.protected_length + kProtectBlockSize - 1) / kProtectBlockSize);
  Bytes copy = archive;
  EXPECT_TRUE(arjhost::format::RepairProtectedBytes(record, &copy).damaged_blocks.empty());
  EXPECT_EQ(copy, archive);
  // A block of zeros has the checks arj gives it.
  const Bytes zeros(kProtectBlockSize, 0);
  const arjhost::format::ProtectChecks checks = arjhost::format::ProtectBlockChecks(zeros.data());
  EXPECT_EQ(checks.first, 0x6832);
  EXPECT_EQ(checks.second, 0x0C69);
  // Marking an archive arj marked changes nothing, and the record written
  // for its bytes is arj's, byte for byte.
  Bytes rewritten(archive.begin(), archive.begin() + static_cast<std::ptrdiff_t>(record.protected_length));
  EXPECT_EQ(arjhost::format::MarkProtected(&rewritten), "");
  EXPECT_EQ(arjhost::format::AppendProtectRecord(&rewritten), "");
  EXPECT_EQ(rewritten, archive);
}

struct Damage {
  const char* what;
  std::vector<std::pair<size_t, size_t>> runs;  // (from, length) in the archive
  std::vector<size_t> record_sectors;           // sectors of the record hit too
  size_t damaged_blocks;
  bool repairable;
};

TEST(ProtectRecord, RebuildsUpToTwoBlocks) {
  const Bytes archive = DataFile("protected.arj");
  const ProtectRecord sound = ReadRecord(archive);
  const size_t length = sound.protected_length;
  const size_t last = (length - 1) / kProtectBlockSize * kProtectBlockSize;
  const size_t k = kProtectBlockSize;
  const Damage cases[] = {
      {"one byte of the main header", {{10, 1}}, {}, 1, true},
      {"a whole block", {{3 * k, k}}, {}, 1, true},
      {"the last byte of a block", {{7 * k - 1, 1}}, {}, 1, true},
      {"the end marker, in the last short block", {{length - 4, 4}}, {}, 1, true},
      {"the start of the last block", {{last, 3}}, {}, 1, true},
      {"a run over two blocks", {{2 * k - 10, 20}}, {}, 2, true},
      {"two blocks apart", {{k + 5, 300}, {9 * k + 700, 324}}, {}, 2, true},
      {"the first and the last block", {{0, 64}, {last, 2}}, {}, 2, true},
      {"three blocks", {{k, 1}, {4 * k, 1}, {6 * k, 1}}, {}, 3, false},
      {"one block, the row parity lost", {{5 * k + 100, 700}}, {1}, 1, true},
      {"one block, the diagonal parity lost", {{5 * k + 100, 700}}, {2}, 1, true},
      {"one block, the first header lost", {{4 * k, 2}}, {0}, 1, true},
      {"one block, the second header lost", {{4 * k, 2}}, {3}, 1, true},
      {"two blocks, a parity lost", {{k, 1}, {4 * k, 1}}, {2}, 2, false},
      {"one block, both parities lost", {{k, 1}}, {1, 2}, 1, false},
  };
  std::mt19937 random(33);
  for (const Damage& d : cases) {
    SCOPED_TRACE(d.what);
    Bytes damaged = archive;
    for (const auto& [from, count] : d.runs)
      for (size_t i = from; i < from + count; ++i) damaged[i] = static_cast<uint8_t>(damaged[i] ^ (1 + random() % 255));
    for (size_t sector : d.record_sectors) damaged[length + SectorBody(sector) + 500] ^= 0x10;
    ProtectRecord record;
    ASSERT_EQ(arjhost::format::ReadProtectRecord(damaged.data(), damaged.size(), &record), "");
    EXPECT_EQ(record.damaged, !d.record_sectors.empty());
    const Bytes before = damaged;
    const arjhost::format::ProtectRepair repair = arjhost::format::RepairProtectedBytes(record, &damaged);
    EXPECT_EQ(repair.damaged_blocks.size(), d.damaged_blocks);
    EXPECT_EQ(repair.damaged_blocks.front(), d.runs.front().first / k);
    EXPECT_EQ(repair.repaired, d.repairable);
    const Bytes& expected = d.repairable ? archive : before;
    EXPECT_TRUE(std::equal(damaged.begin(), damaged.begin() + static_cast<std::ptrdiff_t>(length), expected.begin()));
  }
}

TEST(ProtectRecord, NamesWhyARecordCannotBeUsedOrWritten) {
  const Bytes archive = DataFile("protected.arj");
  const size_t record_at = archive.size() - kProtectRecordSize;
  Bytes headers_hit = archive, moved = archive, other_factor = archive;
  headers_hit[record_at + SectorBody(0) + 40] ^= 1;
  headers_hit[record_at + SectorBody(3) + 40] ^= 1;
  moved.insert(moved.begin() + 100, 0);  // the record no longer starts where it says
  other_factor.insert(other_factor.end(), 4096, 0);
  std::copy_n(archive.begin() + static_cast<std::ptrdiff_t>(record_at), 4, other_factor.end() - 6 - 8192);
  struct Case {
    const char* what;
    Bytes bytes;
    const char* cause;
  };
  const Case cases[] = {
      {"no record", DataFile("method1.arj"), "no ARJ-PROTECT record at its end"},
      {"cut short", Bytes(archive.begin(), archive.end() - 1), "no ARJ-PROTECT record at its end"},
      {"both headers", headers_hit, "both headers of its ARJ-PROTECT record are damaged"},
      {"moved", moved, "its ARJ-PROTECT record does not describe the archive before it"},
      {"a larger factor", other_factor, "its ARJ-PROTECT record is of factor 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ProtectRecord record;
    const std::string cause = arjhost::format::ReadProtectRecord(c.bytes.data(), c.bytes.size(), &record);
    EXPECT_EQ(cause.substr(0, std::string(c.cause).size()), c.cause);
  }
  Bytes too_large = DataFile("method1.arj");
  too_large.resize(495 * kProtectBlockSize);
  EXPECT_NE(arjhost::format::MarkProtected(&too_large).find("up to 494 KiB"), std::string::npos);
  Bytes not_arj(100, 0);
  EXPECT_EQ(arjhost::format::MarkProtected(&not_arj), "the archive does not start with its main header");
}

}  // namespace
