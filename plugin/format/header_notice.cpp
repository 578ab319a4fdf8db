#include "plugin/format/header_notice.h"

#include <algorithm>
#include <cstring>

#include "plugin/format/arj_layout.h"

namespace arjhost::format {

size_t EncodeHeaderNotice(uint32_t row, const uint8_t* prefix, const HeaderFacts& facts, uint8_t* out) {
  StoreDWord(out, row);
  // The table's positions are 32-bit (kTablePolicy).
  StoreDWord(out + 4, static_cast<uint32_t>(facts.offset));
  out[8] = facts.CrcMatches() ? 1 : 0;
  const size_t basic = std::min(fixed_header::kBasicHeader + facts.basic_size + size_t{4}, kMaxHeaderPrefix);
  std::memcpy(out + kHeaderNoticeFixed, prefix, basic);
  return kHeaderNoticeFixed + basic;
}

bool DecodeHeaderNotice(const uint8_t* bytes, size_t length, uint32_t* row, HeaderFields* out) {
  if (length < kHeaderNoticeFixed) return false;
  HeaderFacts facts;
  facts.offset = LoadDWord(bytes + 4);
  if (ParseBasicHeader(bytes + kHeaderNoticeFixed, length - kHeaderNoticeFixed, &facts) != HeaderCause::kHeader)
    return false;
  *row = LoadDWord(bytes);
  DecodeHeaderFields(bytes + kHeaderNoticeFixed, facts, out);
  // The extended headers' CRCs were judged by the scan that read them.
  out->crc_matches = bytes[8] != 0;
  return true;
}

}  // namespace arjhost::format
