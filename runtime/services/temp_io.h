// Direct access to a temporary I/O's content for the runtime's own
// extraction path, which would otherwise copy it out through SeekRead.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin/host/host_objects.h"

namespace arjrt {

// The bytes at `offset` of a temporary I/O whose content is in memory, up
// to the end of the memory chunk that holds them (*size is 0 at or past the
// end). False when `io` is no temporary I/O or its content is in a file.
bool TempIoMemorySpan(ObjectRef io, uint64_t offset, const uint8_t** data, size_t* size);

// Whether `io` is a temporary I/O whose content has moved into the
// spill target its request lent (Delivery), from offset 0.
bool TempIoInSpillTarget(ObjectRef io);

}  // namespace arjrt
