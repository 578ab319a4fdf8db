// A scratch file with no name: it takes disk space only while open and
// leaves nothing behind when the process dies.
#pragma once

namespace arjrt {

// Opens a new read/write file in $TMPDIR (or /tmp): O_TMPFILE where the
// file system has it, else a mkstemp file unlinked at once. Returns the
// descriptor, or -1 with errno set.
int OpenAnonymousFile();

}  // namespace arjrt
