// Copying stored bytes of the old archive into the new one.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"
#include "plugin/rebuild/output_stream.h"

constexpr uint32_t kCopyChunk = 4096;

// Copies `size` bytes from `offset` of the `source` stream to the output's
// position, `kCopyChunk` bytes at a time through `buffer`. A source that
// ends early is ERR_CORRUPTED: the header written before these bytes
// claims all of them. With `crc`, the CRC-32 of the bytes copied is
// carried on from *crc.
[[nodiscard]] ResultCode CopyRange(uint8_t* buffer, ObjectRef source, uint64_t offset, uint64_t size,
                                   OutputStream& out, uint32_t* crc = nullptr);
