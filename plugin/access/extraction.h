// Extraction of one logical entry into a new temporary I/O object, through
// the host's window, garble and temporary I/O objects and its decoders.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"

// MiniArchiver method 3. On success *result holds the temporary I/O with
// every part of the entry in order; the caller owns it.
[[nodiscard]] ResultCode OpenEntry(ObjectRef archiver, ObjectRef* result, uint64_t handle, ObjectRef requester);

// CRC-32 of `count` bytes of `io` from `offset`, read `chunk` bytes at a
// time through `buffer`; a short read ends it with the CRC of what was read.
uint32_t CrcOfIoRange(ObjectRef io, uint64_t offset, uint64_t count, uint8_t* buffer, uint32_t chunk);

// Bound on password requests for one extraction.
constexpr uint32_t kMaxPasswordAttempts = 16;
