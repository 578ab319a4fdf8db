#include "plugin/format/protect_record.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "plugin/format/arj_layout.h"
#include "plugin/format/crc32.h"

namespace arjhost::format {
namespace {

constexpr uint8_t kSignature[] = {'P', 'S', 'i', 'g', 0x78, 0x00};
constexpr size_t kLead = sizeof kSignature;
constexpr size_t kSector = 1024;
constexpr size_t kSectorCrc = 4;
constexpr size_t kSectorBody = kSector - kSectorCrc;
constexpr size_t kSectors = 4;  // header, row parity, diagonal parity, header with the second checks
static_assert(kLead + kSectors * kSector == kProtectRecordSize, "the record is its lead and its sectors");
// arj raises the factor with the archive's size; the search stops here.
constexpr size_t kLargestFactor = 64;

// The parities: blocks taken as a prime number of bytes, so that the
// diagonals of any two blocks meet every byte of both.
constexpr size_t kParityLength = 1031;
constexpr size_t kParityInSector = kSectorBody - 1;
constexpr size_t kParityInHeader = kParityLength - 1 - kParityInSector;

// The header's fields, from its body's start.
constexpr uint16_t kHeaderMark = 0x1111;
constexpr size_t kMarkAt = 0;
constexpr size_t kFactorAt = 2;
constexpr size_t kBlockSizeAt = 4;
constexpr size_t kLengthAt = 6;
constexpr size_t kRowTailAt = 10;
constexpr size_t kDiagonalTailAt = kRowTailAt + kParityInHeader;
constexpr size_t kChecksAt = kDiagonalTailAt + kParityInHeader;
static_assert(kChecksAt + 2 * kProtectMaxBlocks == kSectorBody, "the header holds a check of every block");

// The first header size of arj's main header: up to the factor, the
// second flags and two spare bytes.
constexpr size_t kArjMainFirstHeaderSize = main_header::kProtectFactor + 4 - fixed_header::kBasicHeader;

enum Sector { kHeader = 0, kRowSector = 1, kDiagonalSector = 2, kSecondHeader = 3 };

// Each check is affine in the block's bits: a constant, one half of the
// block's CRC-32 and a fixed mix of its CRC-CCITT (polynomial 0x1021, MSB
// first, preset 0). Measured bit by bit on blocks arj checked, and
// confirmed on every block of its archives.
constexpr uint16_t kFirstOfZeros = 0x6832;
constexpr uint16_t kSecondOfZeros = 0x0C69;
constexpr std::array<uint16_t, 16> kFirstMix = {0xbd15, 0x02bc, 0x0339, 0x0033, 0x78f0, 0xf7a1, 0x97d4, 0x29e9,
                                                0x5593, 0xab26, 0x500d, 0xdecd, 0xbbdb, 0x71f7, 0xe3ee, 0xc7dc};
constexpr std::array<uint16_t, 16> kSecondMix = {0xca0e, 0xac3e, 0x830d, 0xdd6b, 0x82f5, 0xde9b, 0x8514, 0xd158,
                                                 0x79c1, 0xf382, 0x3c74, 0x9bba, 0xec04, 0x0378, 0x06f0, 0x0de1};

const std::array<uint16_t, 256>& CcittTable() {
  static const std::array<uint16_t, 256> table = [] {
    std::array<uint16_t, 256> t{};
    for (unsigned v = 0; v < 256; ++v) {
      unsigned c = v << 8;
      for (int bit = 0; bit < 8; ++bit) c = (c & 0x8000) ? ((c << 1) ^ 0x1021) : (c << 1);
      t[v] = static_cast<uint16_t>(c);
    }
    return t;
  }();
  return table;
}

uint16_t Ccitt(const uint8_t* data, size_t size) {
  const std::array<uint16_t, 256>& table = CcittTable();
  uint16_t c = 0;
  for (size_t i = 0; i < size; ++i) c = static_cast<uint16_t>((c << 8) ^ table[((c >> 8) ^ data[i]) & 0xFF]);
  return c;
}

uint16_t Mix(uint16_t value, const std::array<uint16_t, 16>& columns) {
  uint16_t out = 0;
  for (size_t bit = 0; bit < columns.size(); ++bit)
    if (value >> bit & 1) out ^= columns[bit];
  return out;
}

void StoreWordAt(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void StoreDWordAt(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t SectorCrc(const uint8_t* body) { return ~Crc32Update(kSectorBody, body, 0); }

size_t BlocksOf(size_t length) { return (length + kProtectBlockSize - 1) / kProtectBlockSize; }

// Block `index` of the first `length` bytes, zero-padded to the parity length.
using Block = std::array<uint8_t, kParityLength>;
Block BlockOf(const uint8_t* bytes, size_t length, size_t index) {
  Block block{};
  const size_t from = index * kProtectBlockSize;
  std::memcpy(block.data(), bytes + from, std::min(kProtectBlockSize, length - from));
  return block;
}

void AddRow(const Block& block, std::vector<uint8_t>* row) {
  for (size_t t = 0; t < kParityLength; ++t) (*row)[t] ^= block[t];
}
void AddDiagonal(const Block& block, size_t index, std::vector<uint8_t>* diagonal) {
  const size_t shift = index % kParityLength;
  for (size_t j = 0; j < kParityLength; ++j) (*diagonal)[j] ^= block[(j + shift) % kParityLength];
}

// A parity from its sector's body and its tail in a header body.
std::vector<uint8_t> ParityOf(const uint8_t* sector_body, const uint8_t* tail) {
  std::vector<uint8_t> parity(sector_body + 1, sector_body + 1 + kParityInSector);
  parity.insert(parity.end(), tail, tail + kParityInHeader);
  parity.push_back(sector_body[0]);
  return parity;
}

bool Checks(const ProtectRecord& record, size_t index, const ProtectChecks& found) {
  const ProtectChecks& kept = record.checks[index];
  return (!record.first_checks || kept.first == found.first) && (!record.second_checks || kept.second == found.second);
}

// Two lost blocks from both parities' syndromes: each step takes one byte
// of `second` from a diagonal that meets a known byte of `first`, then the
// byte of `first` in that row. The step is the blocks' distance, prime to
// the parity length, so the walk meets every byte.
void RebuildTwo(size_t first_index, size_t second_index, const std::vector<uint8_t>& row,
                const std::vector<uint8_t>& diagonal, Block* first, Block* second) {
  const size_t step = (second_index - first_index) % kParityLength;
  size_t t = kProtectBlockSize;  // a padding byte: zero in both
  (*first)[t] = 0;
  for (size_t n = 0; n < kParityLength; ++n) {
    const size_t j = (t + kParityLength - first_index % kParityLength) % kParityLength;
    const size_t u = (t + step) % kParityLength;
    (*second)[u] = diagonal[j] ^ (*first)[t];
    (*first)[u] = row[u] ^ (*second)[u];
    t = u;
  }
}

}  // namespace

std::string ProtectLengthCause(uint64_t length) {
  if (length <= kProtectMaxLength) return "";
  return "ARJ-PROTECT records are written for archives of up to " + std::to_string(kProtectMaxBlocks) +
         " KiB (factor 1); the larger factors arj takes for larger ones are not known well enough to write";
}

ProtectChecks ProtectBlockChecks(const uint8_t* block) {
  static const uint32_t crc_of_zeros = [] {
    const std::array<uint8_t, kProtectBlockSize> zeros{};
    return Crc32Update(zeros.size(), zeros.data(), 0);
  }();
  const uint32_t crc = Crc32Update(kProtectBlockSize, block, 0) ^ crc_of_zeros;
  const uint16_t ccitt = Ccitt(block, kProtectBlockSize);
  return {static_cast<uint16_t>(kFirstOfZeros ^ (crc & 0xFFFF) ^ Mix(ccitt, kFirstMix)),
          static_cast<uint16_t>(kSecondOfZeros ^ (crc >> 16) ^ Mix(ccitt, kSecondMix))};
}

std::string ReadProtectRecord(const uint8_t* archive, size_t size, ProtectRecord* record) {
  *record = ProtectRecord{};
  const auto signed_at = [&](size_t from_end) {
    return from_end <= size && std::memcmp(archive + size - from_end, kSignature, 4) == 0;
  };
  if (!signed_at(kProtectRecordSize)) {
    for (size_t f = 2; f <= kLargestFactor; ++f)
      if (signed_at(kLead + f * (kProtectRecordSize - kLead)))
        return "its ARJ-PROTECT record is of factor " + std::to_string(f) +
               " (arj -hk1 to -hk9, or a large archive), whose layout is not read here";
    return "no ARJ-PROTECT record at its end";
  }
  const size_t at = size - kProtectRecordSize;
  const uint8_t* body[kSectors];
  bool sound[kSectors];
  for (size_t s = 0; s < kSectors; ++s) {
    const uint8_t* sector = archive + at + kLead + s * kSector;
    body[s] = sector + kSectorCrc;
    sound[s] = LoadDWord(sector) == SectorCrc(body[s]);
    record->damaged |= !sound[s];
  }
  if (!sound[kHeader] && !sound[kSecondHeader]) return "both headers of its ARJ-PROTECT record are damaged";
  const uint8_t* header = sound[kHeader] ? body[kHeader] : body[kSecondHeader];
  const uint32_t length = LoadDWord(header + kLengthAt);
  if (LoadWord(header + kMarkAt) != kHeaderMark || header[kFactorAt] != 1 ||
      LoadWord(header + kBlockSizeAt) != kProtectBlockSize || length != at || length == 0)
    return "its ARJ-PROTECT record does not describe the archive before it";
  const size_t blocks = BlocksOf(length);
  if (blocks > kProtectMaxBlocks) return "its ARJ-PROTECT record keeps fewer checks than the archive has blocks";
  record->protected_length = length;
  record->first_checks = sound[kHeader];
  record->second_checks = sound[kSecondHeader];
  record->checks.resize(blocks);
  for (size_t i = 0; i < blocks; ++i) {
    if (sound[kHeader]) record->checks[i].first = LoadWord(body[kHeader] + kChecksAt + 2 * i);
    if (sound[kSecondHeader]) record->checks[i].second = LoadWord(body[kSecondHeader] + kChecksAt + 2 * i);
  }
  if (sound[kRowSector]) record->row = ParityOf(body[kRowSector], header + kRowTailAt);
  if (sound[kDiagonalSector]) record->diagonal = ParityOf(body[kDiagonalSector], header + kDiagonalTailAt);
  return "";
}

ProtectRepair RepairProtectedBytes(const ProtectRecord& record, std::vector<uint8_t>* archive) {
  ProtectRepair result;
  const size_t length = record.protected_length;
  if (archive->size() < length || record.checks.size() != BlocksOf(length)) return result;
  const uint8_t* bytes = archive->data();
  // The syndromes: each parity with the sound blocks taken out.
  std::vector<uint8_t> row = record.row, diagonal = record.diagonal;
  for (size_t i = 0; i < record.checks.size(); ++i) {
    const Block block = BlockOf(bytes, length, i);
    if (!Checks(record, i, ProtectBlockChecks(block.data()))) {
      result.damaged_blocks.push_back(static_cast<uint32_t>(i));
      continue;
    }
    if (!row.empty()) AddRow(block, &row);
    if (!diagonal.empty()) AddDiagonal(block, i, &diagonal);
  }
  const std::vector<uint32_t>& lost = result.damaged_blocks;
  if (lost.empty() || lost.size() > 2) return result;
  std::vector<Block> rebuilt(lost.size());
  if (lost.size() == 1 && !row.empty()) {
    std::copy(row.begin(), row.end(), rebuilt[0].begin());
  } else if (lost.size() == 1 && !diagonal.empty()) {
    for (size_t t = 0; t < kParityLength; ++t)
      rebuilt[0][t] = diagonal[(t + kParityLength - lost[0] % kParityLength) % kParityLength];
  } else if (lost.size() == 2 && !row.empty() && !diagonal.empty()) {
    RebuildTwo(lost[0], lost[1], row, diagonal, &rebuilt[0], &rebuilt[1]);
  } else {
    return result;
  }
  // A rebuilt block must check, and its padding past the protected bytes
  // come out zero.
  for (size_t n = 0; n < lost.size(); ++n) {
    const size_t from = lost[n] * kProtectBlockSize;
    const size_t count = std::min(kProtectBlockSize, length - from);
    const Block& block = rebuilt[n];
    if (!Checks(record, lost[n], ProtectBlockChecks(block.data())) ||
        std::any_of(block.begin() + static_cast<std::ptrdiff_t>(count), block.end(), [](uint8_t b) { return b != 0; }))
      return result;
  }
  for (size_t n = 0; n < lost.size(); ++n) {
    const size_t from = lost[n] * kProtectBlockSize;
    const size_t count = std::min(kProtectBlockSize, length - from);
    std::copy(rebuilt[n].begin(), rebuilt[n].begin() + static_cast<std::ptrdiff_t>(count),
              archive->begin() + static_cast<std::ptrdiff_t>(from));
  }
  result.repaired = true;
  return result;
}

std::string MarkProtected(std::vector<uint8_t>* archive) {
  std::vector<uint8_t>& a = *archive;
  if (std::string cause = ProtectLengthCause(a.size()); !cause.empty()) return cause;
  if (a.size() < 4 || a[0] != kArjHeaderIdLow || LoadWord(a.data()) != kArjHeaderId)
    return "the archive does not start with its main header";
  size_t basic = LoadWord(a.data() + fixed_header::kBasicHeaderSize);
  const size_t first = a[fixed_header::kFirstHeaderSize];
  if (basic < first || fixed_header::kBasicHeader + first < main_header::kProtectedLength + 4 ||
      4 + basic + 4 > a.size())
    return "the archive's main header is not whole";
  // arj keeps the factor asked for past the fields a shorter first header
  // holds (arj t then says "ARJ-PROTECT enabled (1x)"): such a header is
  // grown to arj's size, where the basic header has room.
  const size_t grown = kArjMainFirstHeaderSize > first ? kArjMainFirstHeaderSize - first : 0;
  if (grown != 0 && basic + grown <= kMaxBasicHeaderSize &&
      ProtectLengthCause(a.size() + grown).empty()) {
    a.insert(a.begin() + static_cast<std::ptrdiff_t>(fixed_header::kBasicHeader + first), grown, 0);
    basic += grown;
    a[fixed_header::kFirstHeaderSize] = static_cast<uint8_t>(kArjMainFirstHeaderSize);
    StoreWordAt(a.data() + fixed_header::kBasicHeaderSize, static_cast<uint16_t>(basic));
  }
  a[fixed_header::kFlags] = static_cast<uint8_t>(a[fixed_header::kFlags] | Bit(MainFlag::kProtected));
  StoreDWordAt(a.data() + main_header::kProtectedLength, static_cast<uint32_t>(a.size()));
  if (fixed_header::kBasicHeader + a[fixed_header::kFirstHeaderSize] > main_header::kProtectFactor)
    a[main_header::kProtectFactor] = 1;
  StoreDWordAt(a.data() + 4 + basic, Crc32Update(basic, a.data() + fixed_header::kBasicHeader, 0));
  return "";
}

std::string AppendProtectRecord(std::vector<uint8_t>* archive) {
  std::vector<uint8_t>& a = *archive;
  if (std::string cause = ProtectLengthCause(a.size()); !cause.empty()) return cause;
  const size_t blocks = BlocksOf(a.size());
  if (blocks == 0) return "the archive is empty";
  const size_t length = a.size();
  std::vector<uint8_t> row(kParityLength), diagonal(kParityLength);
  std::array<std::array<uint8_t, kSectorBody>, kSectors> body{};
  for (size_t i = 0; i < blocks; ++i) {
    const Block block = BlockOf(a.data(), length, i);
    AddRow(block, &row);
    AddDiagonal(block, i, &diagonal);
    const ProtectChecks checks = ProtectBlockChecks(block.data());
    StoreWordAt(body[kHeader].data() + kChecksAt + 2 * i, checks.first);
    StoreWordAt(body[kSecondHeader].data() + kChecksAt + 2 * i, checks.second);
  }
  for (Sector header : {kHeader, kSecondHeader}) {
    uint8_t* h = body[header].data();
    StoreWordAt(h + kMarkAt, kHeaderMark);
    h[kFactorAt] = 1;
    StoreWordAt(h + kBlockSizeAt, kProtectBlockSize);
    StoreDWordAt(h + kLengthAt, static_cast<uint32_t>(length));
    std::copy_n(row.begin() + kParityInSector, kParityInHeader, h + kRowTailAt);
    std::copy_n(diagonal.begin() + kParityInSector, kParityInHeader, h + kDiagonalTailAt);
  }
  for (const auto& [sector, parity] : {std::make_pair(kRowSector, &row), std::make_pair(kDiagonalSector, &diagonal)}) {
    body[sector][0] = parity->back();
    std::copy_n(parity->begin(), kParityInSector, body[sector].begin() + 1);
  }
  a.insert(a.end(), kSignature, kSignature + kLead);
  for (const auto& b : body) {
    uint8_t crc[kSectorCrc];
    StoreDWordAt(crc, SectorCrc(b.data()));
    a.insert(a.end(), crc, crc + kSectorCrc);
    a.insert(a.end(), b.begin(), b.end());
  }
  return "";
}

}  // namespace arjhost::format
