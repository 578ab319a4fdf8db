#include "plugin/rebuild/main_header.h"

#include "plugin/format/arj_layout.h"
#include "plugin/format/header_writer.h"

using namespace arjhost::format;

namespace {

constexpr uint32_t kCrcSize = 4;

}  // namespace

ResultCode WriteMainHeader(OutputStream& out, const uint8_t* header, uint32_t length) {
  constexpr uint32_t kIdAndSize = fixed_header::kBasicHeader;
  if (length < kIdAndSize) return ERR_CORRUPTED;
  const uint32_t basic_size = LoadWord(header + fixed_header::kBasicHeaderSize);
  if (basic_size > length - kIdAndSize || length - kIdAndSize - basic_size < kCrcSize) return ERR_CORRUPTED;
  HeaderOutput writing{out};
  // The protection data followed the old end marker and is not written: a
  // flag left set would have readers look for it.
  const uint8_t* basic = header + kIdAndSize;
  const uint32_t before = fixed_header::kFlags - kIdAndSize;  // the bytes ahead of the flags
  const uint8_t flags = static_cast<uint8_t>(header[fixed_header::kFlags] & ~Bit(MainFlag::kProtected));
  const ByteSpan whole[] = {{basic, basic_size}};
  const ByteSpan unprotected[] = {{basic, before}, {&flags, 1}, {basic + before + 1, basic_size - before - 1}};
  const bool written = basic_size <= before ? WriteBasicHeader(writing.Writer(), whole, 1)
                                            : WriteBasicHeader(writing.Writer(), unprotected, 3);
  if (!written) return writing.Failure(ERR_CORRUPTED);
  // Extended headers, each a size word and its bytes with their CRC, up to
  // the empty one; every step moves on, so the walk ends within `length`.
  uint32_t at = kIdAndSize + basic_size + kCrcSize;
  for (;;) {
    if (length - at < 2) return ERR_CORRUPTED;
    const uint16_t size = LoadWord(header + at);
    at += 2;
    if (size == 0) break;
    if (size > length - at || length - at - size < kCrcSize) return ERR_CORRUPTED;
    const ByteSpan extended{header + at, size};
    if (!WriteExtendedHeader(writing.Writer(), &extended, 1)) return writing.Failure(ERR_CORRUPTED);
    at += size + kCrcSize;
  }
  if (at != length) return ERR_CORRUPTED;
  return WriteExtendedEnd(writing.Writer()) ? RESULT_OK : writing.Failure(ERR_CORRUPTED);
}
