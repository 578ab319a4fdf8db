// The notice the plug-in's scan sends the host for each local header it
// takes into its table, so that the host fills its entries from the same
// read instead of walking the headers again: the table row, the header's
// offset in its volume, whether its CRCs match, then the basic header's
// bytes (header id to basic header CRC). The UNIX record of a link or
// special file lies in an extended header, which the notice does not carry.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin/format/header_fields.h"

namespace arjhost::format {

constexpr size_t kHeaderNoticeFixed = 4 + 4 + 1;
constexpr size_t kMaxHeaderNotice = kHeaderNoticeFixed + kMaxHeaderPrefix;

// Writes the notice of the header `prefix` holds (judged whole into
// `facts`) at table row `row` into `out` (kMaxHeaderNotice bytes); returns
// its length.
size_t EncodeHeaderNotice(uint32_t row, const uint8_t* prefix, const HeaderFacts& facts, uint8_t* out);

// Reads a notice back: its row and the header's fields (all but the UNIX
// record). False when the bytes are not a whole notice of a header.
bool DecodeHeaderNotice(const uint8_t* bytes, size_t length, uint32_t* row, HeaderFields* out);

}  // namespace arjhost::format
