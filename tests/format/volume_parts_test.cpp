// The headers of a volume set: flags, a part's fields as a reader reads
// them back, the room a part needs.
#include "plugin/format/volume_parts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/format/header_fields.h"
#include "plugin/format/header_writer.h"

namespace {

using namespace arjhost::format;

constexpr uint8_t kNext = Bit(EntryFlag::kContinuesInNext);
constexpr uint8_t kPrevious = Bit(EntryFlag::kContinuesPrevious);
constexpr uint8_t kGarbled = Bit(EntryFlag::kGarbled);
constexpr uint8_t kBackup = Bit(EntryFlag::kBackup);

TEST(VolumeParts, FlagsOfEachPartAndVolume) {
  const struct {
    uint8_t flags;
    uint64_t position;
    bool more;
    uint8_t expected;
  } parts[] = {
      {0, 0, false, 0},                                       // a whole file
      {0, 0, true, kNext},                                    // the first part
      {0, 5000, true, kNext | kPrevious},                     // a middle one
      {0, 5000, false, kPrevious},                            // the last
      {kGarbled | kBackup, 1, true, kGarbled | kBackup | kNext | kPrevious},  // other bits kept
      {kNext | kPrevious, 0, false, 0},                       // stale part bits go
      {kPrevious, 0x100000000ull, false, kPrevious},          // a position past 4 GiB is still not the first
  };
  for (const auto& p : parts)
    EXPECT_EQ(PartFlags(p.flags, p.position, p.more), p.expected) << int{p.flags} << " at " << p.position;

  const uint8_t go_on = Bit(MainFlag::kContinuesInNext);
  const uint8_t protect = Bit(MainFlag::kProtected);
  EXPECT_EQ(VolumeMainFlags(0, false), go_on);
  EXPECT_EQ(VolumeMainFlags(go_on | protect, true), protect);
  EXPECT_EQ(VolumeMainFlags(protect, false), go_on | protect);
  EXPECT_EQ(VolumeMainFlags(0, true), 0);
}

TEST(VolumeParts, APartIsBegunOnlyWithItsLeastRoom) {
  EXPECT_TRUE(BeginsPart(100 + kMinPartRoom, 100));
  EXPECT_FALSE(BeginsPart(99 + kMinPartRoom, 100));
  EXPECT_FALSE(BeginsPart(0, 0));
  EXPECT_GE(kMinVolumeSize, kMinPartRoom);
  EXPECT_EQ(kMostVolumes, 999u) << "names past .999 grow";
}

// The fixed part (from the first header size on) of a header as written.
std::vector<uint8_t> WrittenFixed(uint8_t first_header_size) {
  uint8_t h[kFixedHeaderSize];
  NewFixedHeader(FileType::kBinary, h);
  h[fixed_header::kFlags] = kGarbled;
  h[fixed_header::kMethod] = Byte(Method::kBest);
  std::vector<uint8_t> fixed(h + fixed_header::kBasicHeader, h + kFixedHeaderSize);
  fixed.resize(first_header_size, 0x5A);  // bytes a longer first header carries
  fixed[0] = first_header_size;
  return fixed;
}

// The header the fixed part makes with `name`, read back.
HeaderFields ReadBack(const std::vector<uint8_t>& fixed, const std::string& name) {
  std::vector<uint8_t> bytes;
  const ByteWriter writer{&bytes, [](void* context, const void* data, uint32_t size) {
                            auto* out = static_cast<std::vector<uint8_t>*>(context);
                            out->insert(out->end(), static_cast<const uint8_t*>(data),
                                        static_cast<const uint8_t*>(data) + size);
                            return true;
                          }};
  const std::string rest = name + '\0' + '\0';
  const ByteSpan pieces[] = {{fixed.data(), static_cast<uint32_t>(fixed.size())},
                             {reinterpret_cast<const uint8_t*>(rest.data()), static_cast<uint32_t>(rest.size())}};
  EXPECT_TRUE(WriteBasicHeader(writer, pieces, 2));
  EXPECT_TRUE(WriteExtendedEnd(writer));
  HeaderFacts facts;
  EXPECT_EQ(ParseBasicHeader(bytes.data(), bytes.size(), &facts), HeaderCause::kHeader);
  HeaderFields fields;
  DecodeHeaderFields(bytes.data(), facts, &fields);
  return fields;
}

TEST(VolumeParts, APartHeaderReadsBackAsWritten) {
  const struct {
    uint8_t first_header_size;  // the entry's own
    PartFields part;
    uint8_t size_after;         // the part header's
  } rows[] = {
      {30, {Byte(Method::kStored), 7, 900, 900, 0xDEADBEEF, 0, true}, 34},  // grows to hold the position
      {30, {Byte(Method::kFast), 9, 4096, 1000, 1, 4096, false}, 34},
      {42, {Byte(Method::kBest), 0, 10, 8, 2, 0x100000010ull, true}, 42},     // arj 2.6's times kept
  };
  for (const auto& row : rows) {
    std::vector<uint8_t> fixed = WrittenFixed(row.first_header_size);
    MakePartFixed(row.part, &fixed);
    ASSERT_EQ(fixed.size(), row.size_after);
    const HeaderFields h = ReadBack(fixed, "big.bin");
    EXPECT_EQ(h.first_header_size, row.size_after);
    EXPECT_EQ(h.flags, PartFlags(kGarbled, row.part.position, row.part.more));
    EXPECT_EQ(h.method, row.part.method);
    EXPECT_EQ(h.garble_modifier, row.part.garble_modifier);
    EXPECT_EQ(h.original_size, row.part.size);
    EXPECT_EQ(h.packed_size, row.part.packed);
    EXPECT_EQ(h.file_crc, row.part.crc);
    EXPECT_EQ(h.file_position, static_cast<int64_t>(row.part.position & 0xFFFFFFFFu)) << "stored in 32 bits";
    EXPECT_EQ(h.name, "big.bin");
    if (row.first_header_size > 38) {
      EXPECT_EQ(h.accessed_time, 0x5A5A5A5Au) << "the times after the position kept";
    }
  }
}

TEST(VolumeParts, AStandInIsAWholeFileWithoutData) {
  for (const uint8_t first_header_size : std::vector<uint8_t>{30, 34, 42}) {
    std::vector<uint8_t> fixed = WrittenFixed(first_header_size);
    fixed[fixed_header::kFlags - fixed_header::kBasicHeader] |= kNext | kPrevious;
    MakeStandInFixed(&fixed);
    EXPECT_EQ(fixed.size(), first_header_size) << "no longer than it was";
    const HeaderFields h = ReadBack(fixed, "big.bin");
    EXPECT_EQ(h.flags, kGarbled);
    EXPECT_EQ(h.method, Byte(Method::kStored));
    EXPECT_EQ(h.packed_size, 0u);
    EXPECT_EQ(h.original_size, 0u);
    EXPECT_EQ(h.file_crc, 0u);
    EXPECT_EQ(h.file_position, first_header_size >= 34 ? 0 : -1);
  }
}

}  // namespace
