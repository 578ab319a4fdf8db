// The record arj -a1 stores for a UNIX link or special file (file type 6)
// in an extended header tagged 'U'. Its body, after the tag: a reserved
// byte (0), then one byte holding the kind in its top three bits and the
// length of what follows in the low five (31 says a 16-bit little-endian
// length follows instead); then a device's 8-byte number, a link's target
// (a hard link's: the stored name of the entry it shares its data with),
// or nothing for a FIFO.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "plugin/format/arj_types.h"

namespace arjhost::format {

constexpr uint8_t kUnixSpecialTag = 'U';
// The longest body written: the reserved byte, the kind and the long
// length form, and the longest link target.
constexpr size_t kMaxUnixSpecialBodySize = 4 + kMaxLinkTargetLength;
static_assert(kMaxLinkTargetLength <= UINT16_MAX, "the long length form holds 16 bits");
constexpr size_t kDeviceNumberSize = 8;

constexpr bool IsLink(UnixSpecialKind kind) {
  return kind == UnixSpecialKind::kHardLink || kind == UnixSpecialKind::kSymbolicLink;
}

// The kind and payload of a well-formed body; false when it is cut short,
// names a kind arj does not write, holds more or less than its length
// says, or gives a link an empty target or one with a NUL inside (the
// system would cut it there).
bool DecodeUnixSpecial(std::string_view body, UnixSpecialKind* kind, std::string_view* payload);

// The body for `kind` with `payload` (at most kMaxLinkTargetLength bytes:
// a link's target, or DevicePayload()).
std::string EncodeUnixSpecial(UnixSpecialKind kind, std::string_view payload);
// A device number as the record stores it, little-endian.
std::string DevicePayload(uint64_t device);

}  // namespace arjhost::format
