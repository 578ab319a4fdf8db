// The access mode field's values: DOS attributes, and a UNIX mode as arj
// stores it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "plugin/format/arj_types.h"

namespace {

using namespace arjhost::format;

TEST(AccessMode, DosAttributesAsDosNumbersThem) {
  const struct {
    uint16_t mode;
    bool read_only, hidden, system, directory, archive;
  } rows[] = {{0x00, false, false, false, false, false}, {0x01, true, false, false, false, false},
              {0x02, false, true, false, false, false},  {0x04, false, false, true, false, false},
              {0x10, false, false, false, true, false},  {0x20, false, false, false, false, true},
              {0x37, true, true, true, true, true},      {0x08, false, false, false, false, false}};  // a volume label bit
  for (const auto& row : rows) {
    EXPECT_EQ(Has(row.mode, DosAttribute::kReadOnly), row.read_only) << row.mode;
    EXPECT_EQ(Has(row.mode, DosAttribute::kHidden), row.hidden) << row.mode;
    EXPECT_EQ(Has(row.mode, DosAttribute::kSystem), row.system) << row.mode;
    EXPECT_EQ(Has(row.mode, DosAttribute::kDirectory), row.directory) << row.mode;
    EXPECT_EQ(Has(row.mode, DosAttribute::kArchive), row.archive) << row.mode;
  }
}

// The POSIX file type bits give way to arj's mark; the permission bits
// (set-user-ID, set-group-ID and sticky too) stay.
TEST(AccessMode, UnixModeAsArjStoresIt) {
  const struct {
    uint32_t mode;
    bool special;
    uint16_t stored;
  } rows[] = {{S_IFREG | 0644, false, 0x1000 | 0644}, {S_IFDIR | 0755, false, 0x2000 | 0755},
              {S_IFDIR | 01777, false, 0x2000 | 01777}, {S_IFREG | 04755, false, 0x1000 | 04755},
              {S_IFLNK | 0777, true, 0x4000 | 0777},  {S_IFIFO | 0600, true, 0x4000 | 0600},
              {S_IFREG | 0644, true, 0x4000 | 0644},  // a hard link: its record says what it is
              {0644, false, 0x1000 | 0644}};           // no type bits: a file
  for (const auto& row : rows)
    EXPECT_EQ(StoredUnixMode(UnixMarkOf(row.mode, row.special), row.mode), row.stored) << std::oct << row.mode;
  EXPECT_EQ(kUnixSpecialMinVersion, kNewestEntryVersion) << "arj reads what arj -a1 writes";
}

}  // namespace
