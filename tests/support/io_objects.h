// Host objects for tests of the runtime's services: I/O objects and text
// objects made, filled and read back in one call each.
#pragma once

#include <cstdint>
#include <string>

#include "plugin/host/host_objects.h"
#include "runtime/services/services.h"
#include "tests/support/bytes.h"

namespace testing_support {

// A finished read-only memory I/O over `bytes`, which must outlive it.
ObjectRef MemoryView(ObjectRef parent, const Bytes& bytes);
// A memory I/O that owns a copy of `data`, named `name` (if not empty).
ObjectRef MemoryContent(ObjectRef parent, const Bytes& data, const std::string& name = "");
inline ObjectRef MakeMemoryIo(ObjectRef parent, const std::string& bytes = "") {
  return MemoryContent(parent, ToBytes(bytes));
}
// The runtime's content file I/O over a new file `path` holding `data`,
// with a stored name and (when >= 0) a method asked for.
ObjectRef FileContent(ObjectRef parent, const std::string& path, const Bytes& data, const std::string& name = "",
                      int method = -1);
// Opens a native file I/O under `parent`; *io is null when it fails.
[[nodiscard]] ResultCode OpenNativeFile(ObjectRef parent, ObjectRef* io, const std::string& path,
                                        uint32_t access = ACCESS_READ, uint32_t open = OPEN_EXISTING);
// A finished window on `base` of `size` bytes from `offset`.
ObjectRef Window(ObjectRef parent, ObjectRef base, uint64_t offset, uint64_t size);
// A finished temporary I/O keeping at most `memory_limit` bytes in memory.
ObjectRef TempIo(ObjectRef parent, uint64_t memory_limit);
// Everything GetSize reports, read 64 KiB at a time; stops at a short read.
Bytes ReadAll(ObjectRef io);

ObjectRef MakeText(ObjectRef parent, const std::string& utf8);
// A string property read whole, through the size query first.
std::string StringProperty(ObjectRef object, PropId id);

}  // namespace testing_support
