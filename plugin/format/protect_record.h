// The ARJ-PROTECT recovery record (arj a -hk) as learned from arj's own
// archives and repairs (arj q): where it lies, what it holds, how a damaged
// block is found and rebuilt, and how one is written.
//
// The record follows the end marker: "PSig", the word 0x0078, then
// sectors of 1,024 bytes, each a CRC (the CRC-32 register before its final
// inversion) of its other 1,020 bytes. Of factor 1 (arj a -hk on archives
// of up to 494 blocks) the sectors are:
//   0  header: 0x1111, the factor, 0, the block size 1,024, the protected
//      length (the archive up to the record), 11 bytes of each parity
//      (below) and two check bytes a block (the first check)
//   1  a byte and 1,019 bytes of the row parity
//   2  a byte and 1,019 bytes of the diagonal parity
//   3  the header again, with the second check of each block
// The protected bytes are cut into blocks of 1,024 bytes, the last one
// zero-padded; each is taken as 1,031 bytes (a prime), the last 7 zero.
// The row parity is the XOR of the blocks; byte j of the diagonal parity
// the XOR of byte (j + k) mod 1031 of every block k. Of the 1,031 bytes of
// each, 1,019 stand in its sector after a byte holding its last one, and
// the 11 before that in the header. So any two damaged blocks are rebuilt.
// Records of larger factors (-hk1 to -hk9, and those arj makes for larger
// archives) interleave several such streams and are not read here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace arjhost::format {

constexpr size_t kProtectBlockSize = 1024;
// The blocks a record of factor 1 keeps checks of.
constexpr size_t kProtectMaxBlocks = 494;
// The longest archive a record of factor 1 protects, and why a longer one
// is not protected here ("" when `length` is within it).
constexpr uint64_t kProtectMaxLength = kProtectMaxBlocks * kProtectBlockSize;
std::string ProtectLengthCause(uint64_t length);
// The bytes a record of factor 1 adds to an archive.
constexpr size_t kProtectRecordSize = 6 + 4 * 1024;

// The two checks arj keeps of one block of kProtectBlockSize bytes (a
// block that ends the protected bytes zero-padded first).
struct ProtectChecks {
  uint16_t first = 0;
  uint16_t second = 0;
  bool operator==(const ProtectChecks& o) const { return first == o.first && second == o.second; }
};
ProtectChecks ProtectBlockChecks(const uint8_t* block);

struct ProtectRecord {
  uint32_t protected_length = 0;  // where the record starts
  std::vector<ProtectChecks> checks;  // one a block; a check the header lost is 0 and not compared
  bool first_checks = false, second_checks = false;  // which headers were sound
  std::vector<uint8_t> row, diagonal;  // 1,031 bytes each; empty when its sector is damaged
  bool damaged = false;  // a sector of the record fails its CRC
};

// Finds the record at the end of `archive` and reads what is sound of it.
// Empty cause when it can be used; else why not.
std::string ReadProtectRecord(const uint8_t* archive, size_t size, ProtectRecord* record);

struct ProtectRepair {
  std::vector<uint32_t> damaged_blocks;  // by number, from 0
  bool repaired = false;  // every damaged block rebuilt, and each checks
};

// Checks every block of the protected bytes of `archive` against `record`
// and rebuilds up to two damaged blocks in place (one with either parity,
// two with both). When they cannot all be rebuilt nothing is changed.
ProtectRepair RepairProtectedBytes(const ProtectRecord& record, std::vector<uint8_t>* archive);

// Marks the main header of `archive` (a whole archive, from its main
// header to its end marker) as protected, as arj a -hk does: its flag, the
// protected length (the archive's size) and its CRC. Then
// AppendProtectRecord appends the record that arj q repairs with. Each
// gives an empty cause, or why not (nothing changed then).
std::string MarkProtected(std::vector<uint8_t>* archive);
std::string AppendProtectRecord(std::vector<uint8_t>* archive);

}  // namespace arjhost::format
