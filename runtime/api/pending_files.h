// Files that exist only while work is under way, and what a program ended
// by a signal does about them. The library registers the files it makes
// beside an archive (a rewrite's new archive, before it takes the old
// one's place); a program registers its own (an entry being extracted)
// the same way, and its handler for SIGINT, SIGTERM and SIGHUP calls
// RemovePendingFiles before it exits.
//
// The library's own threads never take those signals, and it holds them
// off on the calling thread while it makes and registers a file, so a
// handler run on that thread finds every file. A handler run on another
// thread of the program at that moment may miss the one being made: start
// other threads with StartWorkerThread (or hold the signals off in them)
// to rule that out.
#pragma once

#include <signal.h>

#include <functional>
#include <thread>

#include "runtime/api/export.h"

namespace arjhost {

// SIGINT, SIGTERM and SIGHUP: the signals whose handler removes the
// pending files.
ARJHOST_API sigset_t EndingSignals();

// Registers the file `name` (relative to the folder `dir_fd`, or to the
// current folder when it is AT_FDCWD) before it is made, and returns its
// slot, or -1 when the name is too long or memory short (the file is then
// not removed on a signal); the table grows with the files under way. Thread-safe.
ARJHOST_API int AddPendingFile(int dir_fd, const char* name);
// Forgets the slot (once the file is renamed into place or removed).
ARJHOST_API void ForgetPendingFile(int slot);
// Unlinks every registered file, the library's and the program's; calls
// nothing but unlinkat(2), so a signal handler may call it, then _exit.
ARJHOST_API void RemovePendingFiles();
// Whether a rewrite made its change in this process (the new archive
// renamed over the old one, an emptied archive removed): a handler that
// comes after it has nothing left half done. Async-signal-safe.
ARJHOST_API bool ChangeMade();

// Starts a thread that never takes SIGINT, SIGTERM or SIGHUP.
ARJHOST_API std::thread StartWorkerThread(std::function<void()> work);

}  // namespace arjhost
