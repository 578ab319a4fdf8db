// What the runtime asks of its native file I/O objects beyond their
// interface.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"

namespace arjrt {

// Copies `size` bytes from `from_offset` of the native file I/O `from` to
// `to_offset` of the native file I/O `to` inside the kernel; *copied counts
// the bytes copied. ERR_UNSUPPORTED when either object is another kind of
// I/O, is not open to be read (from) or written (to), or the system refused
// or stopped short, for whatever cause: what is left is for reads and
// writes to copy, which report a real fault (a full disk, a source that
// ends early) in their own words.
[[nodiscard]] ResultCode CopyNativeFileRange(ObjectRef from, uint64_t from_offset, ObjectRef to, uint64_t to_offset,
                                             uint64_t size, uint64_t* copied);

}  // namespace arjrt
