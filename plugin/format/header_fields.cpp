#include "plugin/format/header_fields.h"

#include "plugin/format/arj_layout.h"
#include "plugin/format/unix_special.h"

namespace arjhost::format {
namespace {

// The body of the first extended header tagged 'U', walking the chain the
// parser has already judged (it ends at `facts.data_offset`).
std::string UnixSpecialBody(const ByteReader& reader, const HeaderFacts& facts) {
  uint64_t at = facts.offset + fixed_header::kBasicHeader + facts.basic_size + 4;
  for (uint32_t i = 0; i < facts.extended_headers && at + 2 < facts.data_offset; ++i) {
    uint8_t word[2];
    uint8_t tag = 0;
    if (reader.read(reader.context, at, word, sizeof word) != 2 || reader.read(reader.context, at + 2, &tag, 1) != 1)
      return {};
    const uint16_t size = LoadWord(word);
    if (size == 0) return {};
    if (tag == kUnixSpecialTag) {
      std::string body(size - 1u, '\0');
      if (reader.read(reader.context, at + 3, body.data(), size - 1u) != size - 1) return {};
      return body;
    }
    at += uint64_t{size} + kExtendedHeaderOverhead;
  }
  return {};
}

}  // namespace

void DecodeHeaderFields(const uint8_t* h, const HeaderFacts& facts, HeaderFields* out) {
  namespace f = fixed_header;
  out->offset = facts.offset;
  out->data_offset = facts.data_offset;
  out->next_offset = facts.next_offset;
  out->basic_size = facts.basic_size;
  out->first_header_size = facts.first_header_size;
  out->archiver_version = h[f::kArchiverVersion];
  out->min_version = h[f::kMinVersion];
  out->host_os = HostOsOf(h[f::kHostOs]);
  out->flags = h[f::kFlags];
  out->method = h[f::kMethod];
  out->file_type = FileTypeOf(h[f::kFileType]);
  out->garble_modifier = h[f::kGarbleModifier];
  out->file_time = LoadDWord(h + f::kTime);
  out->packed_size = LoadDWord(h + f::kPackedSize);
  out->original_size = LoadDWord(h + f::kOriginalSize);
  out->file_crc = LoadDWord(h + f::kFileCrc);
  out->filespec_position = LoadWord(h + f::kFilespecPosition);
  out->access_mode = LoadWord(h + f::kAccessMode);
  out->first_chapter = h[f::kFirstChapter];
  out->last_chapter = h[f::kLastChapter];
  // Four bytes right after the fixed part, there when the first header (and
  // the basic header that holds it) reaches past them.
  constexpr size_t kPositionAt = f::kFilePosition;                    // from the header id on
  constexpr size_t kPositionEnd = kPositionAt + 4 - f::kBasicHeader;  // within the basic header
  const bool has_position = facts.first_header_size >= kPositionEnd && facts.basic_size >= kPositionEnd;
  out->file_position = has_position ? int64_t{LoadDWord(h + kPositionAt)} : -1;
  // The access time, then the creation time, follow the position.
  const auto time_after_position = [&](size_t index) -> uint32_t {
    const size_t at = kPositionAt + 4 * (index + 1);
    const size_t end = at + 4 - f::kBasicHeader;
    return facts.first_header_size >= end && facts.basic_size >= end ? LoadDWord(h + at) : 0;
  };
  out->accessed_time = time_after_position(0);
  out->created_time = time_after_position(1);
  out->crc_matches = facts.CrcMatches();
  out->name.assign(reinterpret_cast<const char*>(h + facts.name_at), facts.name_length);
  out->comment.assign(reinterpret_cast<const char*>(h + facts.comment_at), facts.comment_length);
  out->unix_special.clear();
}

HeaderCause ReadHeaderFields(const ByteReader& reader, uint64_t offset, HeaderRole role, const HeaderPolicy& policy,
                             HeaderFields* out, int32_t* read_error) {
  uint8_t prefix[kMaxHeaderPrefix];
  HeaderFacts facts;
  const HeaderCause cause = ReadHeader(reader, offset, role, policy, prefix, &facts);
  if (read_error != nullptr) *read_error = facts.read_error;
  *out = HeaderFields{};
  out->offset = offset;
  out->data_offset = facts.data_offset;
  out->next_offset = facts.next_offset;
  out->basic_size = facts.basic_size;
  const bool parsed = cause == HeaderCause::kHeader || cause == HeaderCause::kHeaderCrcMismatch ||
                      cause == HeaderCause::kExtendedCrcMismatch || cause == HeaderCause::kPastOffsetLimit;
  if (parsed) DecodeHeaderFields(prefix, facts, out);
  if (parsed && role == HeaderRole::kLocal && out->file_type == FileType::kUnixSpecial && facts.extended_headers != 0)
    out->unix_special = UnixSpecialBody(reader, facts);
  if (cause == HeaderCause::kBasicHeaderTooLarge && facts.available >= kEndMarkerSize)
    out->basic_size = LoadWord(prefix + fixed_header::kBasicHeaderSize);
  return cause;
}

std::string DescribeHeaderCause(HeaderCause cause, const HeaderFields& header) {
  if (cause == HeaderCause::kBasicHeaderTooLarge)
    return "basic header size " + std::to_string(header.basic_size) + " over " + std::to_string(kMaxBasicHeaderSize);
  return HeaderCauseText(cause);
}

}  // namespace arjhost::format
