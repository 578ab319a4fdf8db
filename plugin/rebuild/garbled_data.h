// Garbling, as arj -g does, the packed data a re-encoded entry has just
// written: read back through the host's garble I/O (the one owner of the
// transform, which is its own inverse) and written over in place.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"
#include "plugin/rebuild/output_stream.h"

// The data lies at [at, at + size) of `destination`, the object the output
// stream writes, and the output stands at its end, flushed; so it stands
// again afterwards. `key` holds `key_length` bytes; `buffer` holds
// kGarbleChunk bytes.
constexpr uint32_t kGarbleChunk = 4096;
[[nodiscard]] ResultCode GarbleWrittenData(ObjectRef archiver, ObjectRef destination, OutputStream& out, uint64_t at,
                                           uint64_t size, const uint8_t* key, uint32_t key_length, uint8_t* buffer);
