// CRC-32 as ARJ stores it: the format module computes it over bytes; this
// joins the CRCs of pieces without them.
#pragma once

#include <cstdint>

#include "plugin/format/crc32.h"

namespace arjrt {

// The CRC of a then b from the CRC of each and the length of b, without
// the bytes: what a file split into parts has, from its parts' CRCs.
uint32_t Crc32Combine(uint32_t crc_a, uint32_t crc_b, uint64_t length_b);

}  // namespace arjrt
