// A self-extracting archive's program (the stub before its main header),
// kept in front of the archive when the archive is rewritten.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"

namespace arjhost {

// Copies the first `stub` bytes of `source` to the start of `output`, and
// makes `*view` a window (a child of `output`) over what follows them: the
// I/O the new archive is written into. The caller closes `*view`, even on
// failure.
[[nodiscard]] ResultCode PutStubFirst(ObjectRef source, uint64_t stub, ObjectRef output, ObjectRef* view);

}  // namespace arjhost
