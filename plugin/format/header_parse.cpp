#include "plugin/format/header_parse.h"

#include <algorithm>
#include <cstring>

#include "plugin/format/crc32.h"

namespace arjhost::format {

namespace {

constexpr size_t kBasicStart = fixed_header::kBasicHeader;
constexpr uint32_t kExtendedChunk = 512;
constexpr uint32_t kFirstRead = 256;

// A NUL-terminated string at `at` that may not pass `end`; returns its
// length and where the next string starts (past the NUL, or `end`).
uint32_t TakeString(const uint8_t* bytes, uint32_t at, uint32_t end, uint32_t* next) {
  if (at >= end) {
    *next = end;
    return 0;
  }
  const void* nul = std::memchr(bytes + at, 0, end - at);
  const uint32_t stop = nul != nullptr ? static_cast<uint32_t>(static_cast<const uint8_t*>(nul) - bytes) : end;
  *next = nul != nullptr ? stop + 1 : end;
  return stop - at;
}

// `size` bytes at `at`: from the prefix when it holds them, else read.
// Returns false when they are not all there (`*error` set for a failed read).
bool Fetch(const ByteReader& reader, const HeaderFacts& f, const uint8_t* prefix, uint64_t at, uint8_t* out,
           uint32_t size, int32_t* error) {
  const uint64_t rel = at - f.offset;
  if (rel <= f.available && size <= f.available - rel) {
    std::memcpy(out, prefix + rel, size);
    return true;
  }
  const int64_t got = reader.read(reader.context, at, out, size);
  if (got < 0) *error = static_cast<int32_t>(got);
  return got == static_cast<int64_t>(size);
}

// Walks the extended-header chain from its first size word at `at`,
// checking each header's CRC; sets data_offset to the byte after the chain.
HeaderCause WalkExtendedHeaders(const ByteReader& reader, const uint8_t* prefix, uint64_t at, HeaderFacts* f) {
  uint8_t chunk[kExtendedChunk];
  for (;;) {
    uint8_t word[2];
    if (!Fetch(reader, *f, prefix, at, word, sizeof word, &f->read_error))
      return f->read_error != 0 ? HeaderCause::kReadFailed : HeaderCause::kTruncated;
    at += 2;
    const uint16_t size = LoadWord(word);
    if (size == 0) break;
    // Each extended header is read whole, so the walk ends with the data.
    uint32_t crc = 0;
    for (uint32_t done = 0; done < size;) {
      const uint32_t n = std::min<uint32_t>(kExtendedChunk, size - done);
      if (!Fetch(reader, *f, prefix, at + done, chunk, n, &f->read_error))
        return f->read_error != 0 ? HeaderCause::kReadFailed : HeaderCause::kTruncated;
      crc = Crc32Update(n, chunk, crc);
      done += n;
    }
    uint8_t stored[4];
    if (!Fetch(reader, *f, prefix, at + size, stored, sizeof stored, &f->read_error))
      return f->read_error != 0 ? HeaderCause::kReadFailed : HeaderCause::kTruncated;
    if (crc != LoadDWord(stored)) f->extended_crc_matches = false;
    ++f->extended_headers;
    at += uint64_t{size} + 4;
  }
  f->data_offset = at;
  return HeaderCause::kHeader;
}

}  // namespace

std::string HeaderCauseText(HeaderCause cause) {
  switch (cause) {
    case HeaderCause::kHeader: return "header";
    case HeaderCause::kEndMarker: return "end of archive";
    case HeaderCause::kNoHeaderId: return "no header id";
    case HeaderCause::kTruncated: return "header runs past the end of the file";
    case HeaderCause::kBasicHeaderTooLarge: return "basic header size over " + std::to_string(kMaxBasicHeaderSize);
    case HeaderCause::kHeaderCrcMismatch: return "header CRC mismatch";
    case HeaderCause::kExtendedCrcMismatch: return "extended header CRC mismatch";
    case HeaderCause::kPastOffsetLimit: return "data ends past the 4 GiB a volume is read in";
    case HeaderCause::kReadFailed: return "read failed";
  }
  return "damaged header";
}

bool AcceptableMainHeader(const uint8_t* bytes) {
  return LoadWord(bytes + fixed_header::kId) == kArjHeaderId &&
         LoadWord(bytes + fixed_header::kBasicHeaderSize) <= kMaxBasicHeaderSize &&
         bytes[fixed_header::kMinVersion] == kRecognizedMinVersion;
}

HeaderCause ParseBasicHeader(const uint8_t* bytes, size_t available, HeaderFacts* f) {
  if ((available >= 1 && bytes[0] != kArjHeaderIdLow) || (available >= 2 && LoadWord(bytes) != kArjHeaderId))
    return HeaderCause::kNoHeaderId;
  if (available < kEndMarkerSize) return HeaderCause::kTruncated;
  const uint16_t basic_size = LoadWord(bytes + fixed_header::kBasicHeaderSize);
  if (basic_size == 0) return HeaderCause::kEndMarker;
  if (basic_size > kMaxBasicHeaderSize) return HeaderCause::kBasicHeaderTooLarge;
  const uint32_t basic_end = kBasicStart + basic_size;
  if (available < kFixedHeaderSize || available < basic_end + 4) return HeaderCause::kTruncated;

  f->basic_size = basic_size;
  f->first_header_size = bytes[fixed_header::kFirstHeaderSize];
  // arj reads a first header size that disagrees with the basic header
  // size as it stands: the strings are taken within the basic header.
  uint32_t next = 0;
  f->name_at = std::min<uint32_t>(kBasicStart + f->first_header_size, basic_end);
  f->name_length = TakeString(bytes, f->name_at, basic_end, &next);
  f->comment_at = next;
  f->comment_length = TakeString(bytes, next, basic_end, &next);
  f->basic_crc_matches = Crc32Update(basic_size, bytes + kBasicStart, 0) == LoadDWord(bytes + basic_end);
  return HeaderCause::kHeader;
}

HeaderCause ReadHeader(const ByteReader& reader, uint64_t offset, HeaderRole role, const HeaderPolicy& policy,
                       uint8_t* prefix, HeaderFacts* f) {
  *f = HeaderFacts{};
  f->offset = offset;
  if (offset > policy.offset_limit) return HeaderCause::kPastOffsetLimit;
  // Most headers fit the first read; a longer one takes a second for the
  // rest of its basic header, its CRC and the first extended size.
  int64_t got = reader.read(reader.context, offset, prefix, kFirstRead);
  if (got >= 0) {
    f->available = static_cast<size_t>(std::min<int64_t>(got, kFirstRead));
    const size_t whole = f->available >= kEndMarkerSize
                             ? kBasicStart + LoadWord(prefix + fixed_header::kBasicHeaderSize) + 4 + 2
                             : 0;
    if (f->available == kFirstRead && whole > kFirstRead && whole <= kMaxHeaderPrefix) {
      got = reader.read(reader.context, offset + kFirstRead, prefix + kFirstRead,
                        static_cast<uint32_t>(whole - kFirstRead));
      if (got >= 0) f->available += static_cast<size_t>(std::min<int64_t>(got, whole - kFirstRead));
    }
  }
  if (got < 0) {
    f->read_error = static_cast<int32_t>(got);
    return HeaderCause::kReadFailed;
  }
  HeaderCause cause = ParseBasicHeader(prefix, f->available, f);
  if (cause == HeaderCause::kEndMarker) {
    f->data_offset = f->next_offset = offset + kEndMarkerSize;
    return cause;
  }
  if (cause != HeaderCause::kHeader) return cause;

  cause = WalkExtendedHeaders(reader, prefix, offset + kBasicStart + f->basic_size + 4, f);
  if (cause != HeaderCause::kHeader) return cause;
  f->next_offset = role == HeaderRole::kMain ? f->data_offset : f->data_offset + PackedSize(prefix);
  if (policy.crc_mismatch_is_damage && !f->basic_crc_matches) return HeaderCause::kHeaderCrcMismatch;
  if (policy.crc_mismatch_is_damage && !f->extended_crc_matches) return HeaderCause::kExtendedCrcMismatch;
  if (f->next_offset > policy.offset_limit) return HeaderCause::kPastOffsetLimit;
  return HeaderCause::kHeader;
}

}  // namespace arjhost::format
