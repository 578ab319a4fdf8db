// Host I/O objects for tests of the runtime's I/O services: made, filled
// and read back in one call each.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"
#include "tests/support/archive_builder.h"

namespace testing_support {

// A finished read-only memory I/O over `bytes`, which must outlive it.
ObjectRef MemoryView(ObjectRef parent, const Bytes& bytes);
// A finished window on `base` of `size` bytes from `offset`.
ObjectRef Window(ObjectRef parent, ObjectRef base, uint64_t offset, uint64_t size);
// A finished temporary I/O keeping at most `memory_limit` bytes in memory.
ObjectRef TempIo(ObjectRef parent, uint64_t memory_limit);
// Everything GetSize reports, read 64 KiB at a time; stops at a short read.
Bytes ReadAll(ObjectRef io);
// The bytes of a file under tests/data, or nothing when it is missing.
Bytes SourceFile(const std::string& relative_to_tests_data);

}  // namespace testing_support
