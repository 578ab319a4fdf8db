// The file CRC of new content, read once through its stream before the
// encoder reads it.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"

// CRC-32 of every byte `stream` yields from its start, read `chunk` bytes at
// a time through `buffer`; leaves the stream at its start again. A read
// error is returned; content that does not come to exactly `expected` bytes
// is ERR_CORRUPTED (the header would state a size it does not have).
[[nodiscard]] ResultCode CrcOfStream(ObjectRef stream, uint8_t* buffer, uint32_t chunk, uint64_t expected,
                                     uint32_t* crc);
