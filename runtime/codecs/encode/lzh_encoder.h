// Methods 1..3: LZ77 over the 26624-byte dictionary, Huffman-coded blocks.
#pragma once

#include <cstdint>

#include "runtime/codecs/codec_io.h"
#include "runtime/codecs/encode/bit_writer.h"

namespace arjrt {

// Parses all of `in` with the effort of `method` (1 hardest .. 3 fastest)
// into `bits`, its first `history` bytes only entered as matches' sources.
// Returns 0 or the source's error; the writer keeps its own.
[[nodiscard]] ResultCode EncodeLzh(uint32_t method, ByteSource& in, uint64_t history, BitWriter& bits,
                                   uint64_t* bytes_read);

}  // namespace arjrt
