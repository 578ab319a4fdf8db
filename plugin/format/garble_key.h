// The key ARJ garbles an entry's packed data with: each byte of the
// password plus the header's garble modifier. The one rule for reading
// garbled entries and for writing them.
#pragma once

#include <cstdint>

#include "plugin/format/arj_types.h"

namespace arjhost::format {

// The key keeps the password's full length: a byte whose sum with the
// modifier is 0 is part of the key, as the archivers apply it. `key`
// holds `length` bytes.
inline void MakeGarbleKey(const char* password, uint32_t length, uint8_t modifier, uint8_t* key) {
  for (uint32_t k = 0; k < length; ++k) key[k] = static_cast<uint8_t>(static_cast<uint8_t>(password[k]) + modifier);
}

// Garbles (or, the same, ungarbles) `size` bytes that lie at `position`
// of an entry's (or a part's) packed data: byte j takes key[j % length].
inline void GarbleBytes(uint8_t* data, uint64_t size, const uint8_t* key, uint32_t length, uint64_t position) {
  if (length == 0) return;
  uint32_t k = static_cast<uint32_t>(position % length);
  for (uint64_t i = 0; i < size; ++i) {
    data[i] ^= key[k];
    if (++k == length) k = 0;
  }
}

}  // namespace arjhost::format
