#include "runtime/format/arj_header.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/common/byte_order.h"
#include "runtime/common/crc32.h"

namespace arjrt {
namespace {

// Offsets within the basic header (after the id and the basic size).
constexpr size_t kFirstHeaderSizeAt = 0;
constexpr size_t kArchiverVersionAt = 1;
constexpr size_t kMinVersionAt = 2;
constexpr size_t kHostOsAt = 3;
constexpr size_t kFlagsAt = 4;
constexpr size_t kMethodAt = 5;
constexpr size_t kFileTypeAt = 6;
constexpr size_t kGarbleModifierAt = 7;
constexpr size_t kFileTimeAt = 8;
constexpr size_t kPackedSizeAt = 12;
constexpr size_t kOriginalSizeAt = 16;
constexpr size_t kFileCrcAt = 20;
constexpr size_t kFilespecPositionAt = 24;
constexpr size_t kAccessModeAt = 26;
constexpr size_t kFirstChapterAt = 28;
constexpr size_t kLastChapterAt = 29;

// Offsets past this are refused, so that no sum of header and data sizes
// added to an offset can wrap.
constexpr uint64_t kMaxHeaderOffset = uint64_t{1} << 62;

uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// A NUL-terminated string starting at `from` that must end before `end`.
bool TakeString(const uint8_t* from, const uint8_t* end, std::string* out, const uint8_t** next) {
  const void* nul = std::memchr(from, 0, static_cast<size_t>(end - from));
  if (nul == nullptr) return false;
  const uint8_t* stop = static_cast<const uint8_t*>(nul);
  out->assign(reinterpret_cast<const char*>(from), static_cast<size_t>(stop - from));
  *next = stop + 1;
  return true;
}

}  // namespace

ResultCode ParseBasicHeader(const uint8_t* bytes, size_t available, bool verify_crc, ArjHeader* out) {
  if ((available >= 1 && bytes[0] != kArjIdFirst) || (available >= 2 && bytes[1] != kArjIdSecond))
    return ERR_NOT_RECOGNIZED;
  if (available < 4) return ERR_END_OF_DATA;
  const uint16_t basic_size = Load16(bytes + 2);
  if (basic_size == 0) return ERR_END_OF_LIST;
  if (basic_size > kMaxBasicHeaderSize) return ERR_CORRUPTED;
  if (available < size_t{4} + basic_size + 4) return ERR_END_OF_DATA;
  const uint8_t* basic = bytes + 4;
  const uint8_t* basic_end = basic + basic_size;

  const uint8_t first_size = basic[kFirstHeaderSizeAt];
  if (first_size < kMinFirstHeaderSize || first_size > basic_size) return ERR_CORRUPTED;
  std::string name, comment;
  const uint8_t* after_name = nullptr;
  const uint8_t* after_comment = nullptr;
  if (!TakeString(basic + first_size, basic_end, &name, &after_name) ||
      !TakeString(after_name, basic_end, &comment, &after_comment))
    return ERR_CORRUPTED;
  // Structure first, CRC last: the search for a main header tries many
  // candidates, and most fail the cheap checks.
  const bool crc_matches = Crc32(basic, basic_size) == LoadLittle32(basic_end);
  if (verify_crc && !crc_matches) return ERR_CORRUPTED;

  out->basic_size = basic_size;
  out->first_header_size = first_size;
  out->archiver_version = basic[kArchiverVersionAt];
  out->min_version = basic[kMinVersionAt];
  out->host_os = basic[kHostOsAt];
  out->flags = basic[kFlagsAt];
  out->method = basic[kMethodAt];
  out->file_type = basic[kFileTypeAt];
  out->garble_modifier = basic[kGarbleModifierAt];
  out->file_time = LoadLittle32(basic + kFileTimeAt);
  out->packed_size = LoadLittle32(basic + kPackedSizeAt);
  out->original_size = LoadLittle32(basic + kOriginalSizeAt);
  out->file_crc = LoadLittle32(basic + kFileCrcAt);
  out->filespec_position = Load16(basic + kFilespecPositionAt);
  out->access_mode = Load16(basic + kAccessModeAt);
  const bool has_chapters = first_size > kLastChapterAt;
  out->first_chapter = has_chapters ? basic[kFirstChapterAt] : 0;
  out->last_chapter = has_chapters ? basic[kLastChapterAt] : 0;
  out->crc_checked = verify_crc;
  out->crc_matches = crc_matches;
  out->name = std::move(name);
  out->comment = std::move(comment);
  return RESULT_OK;
}

ResultCode ReadHeader(ObjectRef io, uint64_t offset, bool verify_crc, ArjHeader* out) {
  if (offset > kMaxHeaderOffset) return ERR_END_OF_DATA;
  // One read takes the largest basic header and the first extended size,
  // so that a header without extended headers costs a single request.
  uint8_t prefix[kMaxHeaderPrefix];
  uint32_t count = 0;
  ResultCode result = host::Io(io).SeekRead(io, &count, offset, prefix, sizeof prefix);
  if (Failed(result) && result != ERR_END_OF_DATA) return result;
  count = std::min<uint32_t>(count, sizeof prefix);

  out->offset = offset;
  result = ParseBasicHeader(prefix, count, verify_crc, out);
  if (result == ERR_END_OF_LIST) out->data_offset = offset + 4;
  if (result != RESULT_OK) return result;

  // Exactly `size` bytes at `at`, from the prefix when it holds them.
  auto read_exact = [&](uint64_t at, void* buffer, uint32_t size) -> ResultCode {
    const uint64_t rel = at - offset;
    if (rel <= count && size <= count - rel) {
      std::memcpy(buffer, prefix + rel, size);
      return RESULT_OK;
    }
    uint32_t got = 0;
    ResultCode r = host::Io(io).SeekRead(io, &got, at, buffer, size);
    if (Failed(r) && r != ERR_END_OF_DATA) return r;
    return got == size ? RESULT_OK : ERR_END_OF_DATA;
  };

  uint64_t at = offset + 4 + out->basic_size + 4;
  std::vector<uint8_t> extended;
  for (uint32_t n = 0;; ++n) {
    uint8_t size_bytes[2];
    result = read_exact(at, size_bytes, sizeof size_bytes);
    if (result != RESULT_OK) return result;
    at += 2;
    const uint16_t size = Load16(size_bytes);
    if (size == 0) break;
    if (n == kMaxExtendedHeaders) return ERR_CORRUPTED;
    if (verify_crc) {
      extended.resize(size_t{size} + 4);
      result = read_exact(at, extended.data(), static_cast<uint32_t>(extended.size()));
      if (result != RESULT_OK) return result;
      if (Crc32(extended.data(), size) != LoadLittle32(extended.data() + size)) return ERR_CORRUPTED;
    }
    at += uint64_t{size} + 4;
  }
  out->data_offset = at;
  return RESULT_OK;
}

}  // namespace arjrt
