// Method 4: greedy LZ77 with short chains, written in the fast format.
#pragma once

#include <cstdint>

#include "runtime/codecs/codec_io.h"
#include "runtime/codecs/encode/bit_writer.h"

namespace arjrt {

// The first `history` bytes of `in` are only entered as matches' sources.
// Returns 0 or the source's error; the writer keeps its own.
[[nodiscard]] ResultCode EncodeFast(ByteSource& in, uint64_t history, BitWriter& bits, uint64_t* bytes_read);

}  // namespace arjrt
