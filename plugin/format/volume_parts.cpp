#include "plugin/format/volume_parts.h"

namespace arjhost::format {
namespace {

// Offsets within a fixed part that starts at the first header size.
constexpr size_t In(size_t from_id) { return from_id - fixed_header::kBasicHeader; }
constexpr size_t kPartFixedSize = In(fixed_header::kFilePosition) + 4;

// Grows the fixed part to `size` bytes where it is shorter, and its first
// header size with it.
void Hold(size_t size, std::vector<uint8_t>* fixed) {
  if (fixed->size() >= size) return;
  fixed->resize(size, 0);
  (*fixed)[In(fixed_header::kFirstHeaderSize)] = static_cast<uint8_t>(size);
}

void StoreFields(const PartFields& part, uint8_t* fixed) {
  fixed[In(fixed_header::kFlags)] = PartFlags(fixed[In(fixed_header::kFlags)], part.position, part.more);
  fixed[In(fixed_header::kMethod)] = part.method;
  StoreDWord(fixed + In(fixed_header::kPackedSize), static_cast<uint32_t>(part.packed));
  StoreDWord(fixed + In(fixed_header::kOriginalSize), static_cast<uint32_t>(part.size));
  StoreDWord(fixed + In(fixed_header::kFileCrc), part.crc);
}

}  // namespace

void MakePartFixed(const PartFields& part, std::vector<uint8_t>* fixed) {
  Hold(kPartFixedSize, fixed);
  uint8_t* f = fixed->data();
  StoreFields(part, f);
  f[In(fixed_header::kGarbleModifier)] = part.garble_modifier;
  StoreDWord(f + In(fixed_header::kFilePosition), static_cast<uint32_t>(part.position));
}

void MakeStandInFixed(std::vector<uint8_t>* fixed) {
  Hold(In(kFixedHeaderSize), fixed);
  StoreFields(PartFields{}, fixed->data());
  if (fixed->size() >= kPartFixedSize) StoreDWord(fixed->data() + In(fixed_header::kFilePosition), 0);
}

}  // namespace arjhost::format
