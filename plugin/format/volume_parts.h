// The headers of a volume set as arj a -v writes one: each volume's main
// header says whether the set goes on after it, and a file that does not
// fit the room a volume has left goes on in parts, each a local header of
// its own with its flags, its position in the file, its method, sizes and
// CRC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "plugin/format/arj_layout.h"

namespace arjhost::format {

// As arj ("up to 999 archive volumes"): names past .999 would grow, and
// every volume is open at once while a written set is checked.
constexpr size_t kMostVolumes = 999;
// A part is not begun in less room than this: the file goes on in the
// next volume instead.
constexpr uint64_t kMinPartRoom = 1024;
// The smallest volume holds a main header, a part's header and the least
// room for its data, each as large as a reader takes it, and the end marker.
static_assert(kMinVolumeSize >= 2 * kMaxHeaderPrefix + kMinPartRoom + kEndMarkerSize,
              "the smallest volume holds a main header and a part with its header");

// Whether a volume with `room` bytes left (its end marker set aside) begins
// a part whose header takes `header_size` of them.
constexpr bool BeginsPart(uint64_t room, uint64_t header_size) { return header_size + kMinPartRoom <= room; }

// A main header's flags for a volume: it goes on in the next unless it is
// the last (a set joined into one archive is its own last volume).
constexpr uint8_t VolumeMainFlags(uint8_t flags, bool last) {
  return last ? static_cast<uint8_t>(flags & ~Bit(MainFlag::kContinuesInNext))
              : static_cast<uint8_t>(flags | Bit(MainFlag::kContinuesInNext));
}

// A local header's flags for a part that starts at `position` of its file:
// it goes on from the previous volume unless it is the first, and in the
// next when `more` of the file follows.
constexpr uint8_t PartFlags(uint8_t flags, uint64_t position, bool more) {
  const uint8_t whole =
      static_cast<uint8_t>(flags & ~(Bit(EntryFlag::kContinuesInNext) | Bit(EntryFlag::kContinuesPrevious)));
  return static_cast<uint8_t>(whole | (more ? Bit(EntryFlag::kContinuesInNext) : 0) |
                              (position > 0 ? Bit(EntryFlag::kContinuesPrevious) : 0));
}

// What one part says of itself in its header.
struct PartFields {
  uint8_t method = 0;
  uint8_t garble_modifier = 0;  // each part garbled on its own, as arj -g garbles them
  uint64_t size = 0;            // its unpacked bytes
  uint64_t packed = 0;
  uint32_t crc = 0;             // of its own unpacked bytes
  uint64_t position = 0;        // where its bytes start in the file
  bool more = false;            // the file goes on in the next volume
};

// Makes a local header's fixed part (from the first header size on, as
// Rewritten takes it) that of the part: long enough to hold the position,
// with the part's flags and fields. Sizes and position are stored in 32
// bits, as every reader takes them.
void MakePartFixed(const PartFields& part, std::vector<uint8_t>* fixed);

// Makes the fixed part that of a whole file without data, stored: where a
// split file's header stands in for it while its parts are placed anew.
void MakeStandInFixed(std::vector<uint8_t>* fixed);

}  // namespace arjhost::format
