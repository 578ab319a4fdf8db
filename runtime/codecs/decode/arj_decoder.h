// Decoding of the packed data of one ARJ entry.
#pragma once

#include <cstdint>

#include "runtime/codecs/codec_io.h"

namespace arjrt {

// Decodes ARJ packed data of `method` (0 stored, 1..3 LZ77 with prefix
// codes and a 26624-byte dictionary, 4 the "fast" LZ77 variant) from `in`
// to `out`, stopping after exactly `unpacked_size` output bytes.
// Returns 0; ERR_CORRUPTED for impossible data, a match running past
// `unpacked_size`, or more packed bytes after the end of the stream than
// arj accepts (none stored, two packed); ERR_END_OF_DATA when the input
// ends before `unpacked_size` bytes were produced; ERR_UNSUPPORTED for
// another method; ERR_NO_MEMORY; or the negative result of in.Read /
// out.Write unchanged. `*written` (if not null) receives the count of
// bytes written, also on failure: after a decoding failure everything
// decoded up to the fault has been written. `*unused` (if not null)
// receives the count of packed bytes after the end of the stream when
// they are the fault, else 0.
// Memory use is fixed (about 260 KiB), whatever `unpacked_size` is.
[[nodiscard]] ResultCode DecodeArjData(uint32_t method, ByteSource& in, ByteSink& out, uint64_t unpacked_size,
                                       uint64_t* written, uint64_t* unused = nullptr);

}  // namespace arjrt
