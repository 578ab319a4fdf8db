// Reads of a ByteSource shared by the decoders.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/codecs/codec_io.h"

namespace arjrt {

// source.Read, with a count over `size` (a source breaking its contract)
// turned into ERR_BAD_PARAMETER.
int64_t ReadChecked(ByteSource& source, uint8_t* buffer, size_t size);

// Reads what is left of `source` into `scratch`, overwriting it, and adds
// the count of those bytes to `*count`. Returns 0 or the source's failure.
[[nodiscard]] ResultCode CountRestOfSource(ByteSource& source, uint8_t* scratch, size_t size, uint64_t* count);

}  // namespace arjrt
