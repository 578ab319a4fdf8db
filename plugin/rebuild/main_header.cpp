#include "plugin/rebuild/main_header.h"

#include "plugin/format/arj_layout.h"
#include "plugin/format/crc32.h"

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

}  // namespace

ResultCode WriteMainHeader(OutputStream& out, const uint8_t* header, uint32_t length) {
  constexpr uint32_t kIdAndSize = fixed_header::kBasicHeader;
  if (length < kIdAndSize) return ERR_CORRUPTED;
  ResultCode r = WriteBytes(out, header, kIdAndSize);
  uint32_t at = kIdAndSize;
  if (!Failed(r)) r = WriteWithCrc(out, header, length, &at, LoadWord(header + fixed_header::kBasicHeaderSize));
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
