// ARJ method 0: the entry's bytes are stored as they are.
#pragma once

#include <cstdint>

#include "runtime/codecs/codec_io.h"

namespace arjrt {

// Copies `size` bytes from `in` to `out` in chunks, adding each chunk
// written to `*written`. A short input is ERR_END_OF_DATA; bytes after the
// `size` copied are ERR_CORRUPTED with `*unused` their count, since arj
// checks the CRC of every stored byte.
[[nodiscard]] ResultCode CopyStored(ByteSource& in, ByteSink& out, uint64_t size, uint64_t* written,
                                    uint64_t* unused);

}  // namespace arjrt
