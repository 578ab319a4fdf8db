// Files that exist only while work is under way (a new archive's temporary
// file, an entry being extracted), so that a signal that ends the process
// can remove them. RemovePendingFiles is async-signal-safe: a handler may
// call it and then _exit.
#pragma once

#include <cstddef>

namespace arjhost {

// Registers the file `name` (relative to the folder `dir_fd`, or to the
// current folder when it is AT_FDCWD) and returns its slot, or -1 when the
// table is full or the name too long (the file is then not removed on a
// signal). Thread-safe.
int AddPendingFile(int dir_fd, const char* name);
// Forgets the slot (once the file is renamed into place or removed).
void ForgetPendingFile(int slot);
// Unlinks every registered file; calls nothing but unlinkat(2).
void RemovePendingFiles();

}  // namespace arjhost
