// Encoders for the packed data of ARJ entries.
#pragma once

#include <cstdint>

#include "plugin/host/host_types.h"
#include "runtime/codecs/codec_io.h"
#include "runtime/codecs/encode/packed_chunks.h"

namespace arjrt {

// Encodes all of `in` (read to its end) as ARJ packed data of `method`:
// 0 stored (plain copy), 1..3 the LZ77+Huffman "LZH" format with the
// 26624-byte dictionary (one stream format; method 1 searches hardest and
// compresses best, 3 is fastest), 4 the "fast" format. Writes to `out`;
// *packed_written receives the bytes written, *unpacked_read and
// *unpacked_crc (each if not null) the count and CRC of the bytes read.
// Returns 0, ERR_UNSUPPORTED for another method, or the negative result of
// in.Read / out.Write unchanged.
[[nodiscard]] ResultCode EncodeArjData(uint32_t method, ByteSource& in, ByteSink& out, uint64_t* packed_written,
                                       uint64_t* unpacked_read, uint32_t* unpacked_crc = nullptr);

// Writes the chunks as one stream, as EncodeArjData does for methods 1..4,
// unless they come to `limit` bytes or more: then it stops before the chunk
// that gets there, with *reached set (when not null), having written fewer
// than `limit` bytes. *unpacked_crc: the CRC of the chunks' input bytes.
[[nodiscard]] ResultCode JoinChunks(PackedChunkSource& chunks, ByteSink& out, uint64_t limit, uint64_t* packed_written,
                                    uint64_t* unpacked_read, bool* reached, uint32_t* unpacked_crc = nullptr);

}  // namespace arjrt
