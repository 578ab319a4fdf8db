#include "plugin/rebuild/main_header.h"

#include <cstring>

#include "plugin/format/arj_layout.h"
#include "plugin/format/header_writer.h"

using namespace arjhost::format;

namespace {

constexpr uint32_t kCrcSize = 4;
constexpr uint8_t kNul = 0;

// The end of the NUL-ended string at `from` within `size` bytes of `basic`
// (at its NUL), or `size` when it has none.
uint32_t StringEnd(const uint8_t* basic, uint32_t from, uint32_t size) {
  const void* nul = from < size ? std::memchr(basic + from, 0, size - from) : nullptr;
  return nul != nullptr ? static_cast<uint32_t>(static_cast<const uint8_t*>(nul) - basic) : size;
}

// The basic header with `comment` in place of the stored one: what comes
// before it (less the ARJ-PROTECT flag), the comment, and what follows it.
[[nodiscard]] bool WriteCommented(const ByteWriter& out, const uint8_t* basic, uint32_t basic_size,
                                  const uint8_t& flags, const EntryComment& comment, ResultCode* failure) {
  const uint32_t before = fixed_header::kFlags - fixed_header::kBasicHeader;
  const uint32_t first_size = basic[0];
  const uint32_t name_end = StringEnd(basic, first_size, basic_size);
  *failure = ERR_CORRUPTED;
  if (first_size <= before || name_end >= basic_size) return false;  // no name ended by its NUL
  const uint32_t comment_end = StringEnd(basic, name_end + 1, basic_size);
  const uint32_t after = comment_end < basic_size ? comment_end + 1 : basic_size;  // past the old NUL
  const uint32_t new_size = name_end + 1 + comment.length + 1 + (basic_size - after);
  *failure = ERR_BAD_PARAMETER;
  if (new_size > kMaxBasicHeaderSize) return false;
  const ByteSpan pieces[] = {{basic, before},
                             {&flags, 1},
                             {basic + before + 1, name_end + 1 - before - 1},
                             {comment.text, comment.length},
                             {&kNul, 1},
                             {basic + after, basic_size - after}};
  return WriteBasicHeader(out, pieces, 6);
}

}  // namespace

ResultCode WriteMainHeader(OutputStream& out, const uint8_t* header, uint32_t length, const EntryComment* comment) {
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
  if (comment != nullptr) {
    ResultCode refused = ERR_CORRUPTED;
    if (!WriteCommented(writing.Writer(), basic, basic_size, flags, *comment, &refused))
      return writing.Failure(refused);
  } else {
    const bool written = basic_size <= before ? WriteBasicHeader(writing.Writer(), whole, 1)
                                              : WriteBasicHeader(writing.Writer(), unprotected, 3);
    if (!written) return writing.Failure(ERR_CORRUPTED);
  }
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
