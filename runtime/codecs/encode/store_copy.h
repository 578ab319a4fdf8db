// Method 0: the packed data is the input itself.
#pragma once

#include <cstdint>

#include "runtime/codecs/codec_io.h"

namespace arjrt {

// Copies all of `in` to `out` in chunks, counting the bytes written and
// read and continuing *crc over the bytes read. Returns 0 or the first
// error.
[[nodiscard]] ResultCode StoreCopy(ByteSource& in, ByteSink& out, uint64_t* written, uint64_t* bytes_read,
                                   uint32_t* crc);

}  // namespace arjrt
