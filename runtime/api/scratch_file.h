// A scratch file with no name, for an embedder's spill: it takes disk
// space only while open and leaves nothing behind when the process dies.
#pragma once

#include "runtime/api/export.h"

namespace arjhost {

// Opens a new read/write file in $TMPDIR (or /tmp); the descriptor, or -1
// with errno set.
ARJHOST_API int OpenScratchFile();

}  // namespace arjhost
