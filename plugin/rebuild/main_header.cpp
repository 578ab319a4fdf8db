#include "plugin/rebuild/main_header.h"

#include "plugin/format/arj_layout.h"
#include "plugin/format/crc32.h"

using namespace arjhost::format;

namespace {

constexpr uint32_t kCrcSize = 4;

// `size` bytes at `at` followed by their CRC; `at` moves past the old CRC.
[[nodiscard]] ResultCode WriteWithCrc(OutputStream& out, const uint8_t* header, uint32_t length, uint32_t* at, uint32_t size) {
  if (size > length - *at || length - *at - size < kCrcSize) return ERR_CORRUPTED;
  ResultCode r = WriteBytes(out, header + *at, size);
  if (!Failed(r)) r = WriteDWord32(out, Crc32Update(size, header + *at, 0));
  *at += size + kCrcSize;
  return r;
}

// The basic header (at `*at`, just after the id and size) as WriteWithCrc
// writes it, but for the ARJ-PROTECT flag: the protection data followed the
// old end marker and is not written, and a flag left set would have
// readers look for it.
[[nodiscard]] ResultCode WriteBasicHeader(OutputStream& out, const uint8_t* header, uint32_t length, uint32_t* at,
                                          uint32_t size) {
  const uint32_t before = fixed_header::kFlags - *at;  // the bytes ahead of the flags
  if (size <= before) return WriteWithCrc(out, header, length, at, size);
  if (size > length - *at || length - *at - size < kCrcSize) return ERR_CORRUPTED;
  const uint8_t* basic = header + *at;
  const uint8_t flags = static_cast<uint8_t>(basic[before] & ~Bit(MainFlag::kProtected));
  const uint32_t after = size - before - 1;
  ResultCode r = WriteBytes(out, basic, before);
  if (!Failed(r)) r = WriteBytes(out, &flags, 1);
  if (!Failed(r)) r = WriteBytes(out, basic + before + 1, after);
  const uint32_t crc = Crc32Update(after, basic + before + 1, Crc32Update(1, &flags, Crc32Update(before, basic, 0)));
  if (!Failed(r)) r = WriteDWord32(out, crc);
  *at += size + kCrcSize;
  return r;
}

}  // namespace

ResultCode WriteMainHeader(OutputStream& out, const uint8_t* header, uint32_t length) {
  constexpr uint32_t kIdAndSize = fixed_header::kBasicHeader;
  if (length < kIdAndSize) return ERR_CORRUPTED;
  ResultCode r = WriteBytes(out, header, kIdAndSize);
  uint32_t at = kIdAndSize;
  if (!Failed(r)) r = WriteBasicHeader(out, header, length, &at, LoadWord(header + fixed_header::kBasicHeaderSize));
  // Extended headers, each a size word and its bytes with their CRC, up to
  // the empty one; every step moves on, so the walk ends within `length`.
  while (!Failed(r)) {
    if (length - at < 2) return ERR_CORRUPTED;
    const uint16_t size = LoadWord(header + at);
    at += 2;
    if (Failed(r = WriteWord16(out, size)) || size == 0) break;
    r = WriteWithCrc(out, header, length, &at, size);
  }
  if (!Failed(r) && at != length) return ERR_CORRUPTED;
  return r;
}
