// Files that exist only while work is under way (a new archive's temporary
// file, an entry being extracted), so that a signal that ends the process
// can remove them. RemovePendingFiles is async-signal-safe: a handler may
// call it and then _exit.
#pragma once

#include <signal.h>

#include <cstddef>
#include <functional>
#include <thread>

namespace arjrt {

// SIGINT, SIGTERM and SIGHUP: the signals that end a command and have its
// pending files removed.
sigset_t EndingSignals();

// Holds SIGINT, SIGTERM and SIGHUP off on this thread for its life: while
// a pending file is made and registered, so that a handler finds both done
// or neither.
class EndingSignalsHeld {
 public:
  EndingSignalsHeld();
  ~EndingSignalsHeld();
  EndingSignalsHeld(const EndingSignalsHeld&) = delete;
  EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

// Registers the file `name` (relative to the folder `dir_fd`, or to the
// current folder when it is AT_FDCWD) and returns its slot, or -1 when the
// name is too long or memory short (the file is then not removed on a
// signal); the table grows with the files under way. Thread-safe.
int AddPendingFile(int dir_fd, const char* name);
// Forgets the slot (once the file is renamed into place or removed).
void ForgetPendingFile(int slot);
// Unlinks every registered file; calls nothing but unlinkat(2).
void RemovePendingFiles();

// Runs `step`, the one that makes a command's change (a new archive renamed
// over the old one, an emptied archive removed), with SIGINT, SIGTERM and
// SIGHUP held off, and when it succeeds marks the change as made before
// they can land: a handler then knows that nothing is left half done.
bool MakeTheChange(const std::function<bool()>& step);
// Whether MakeTheChange's step succeeded in this process. Async-signal-safe.
bool ChangeMade();

// Starts a thread that never takes SIGINT, SIGTERM or SIGHUP. Every thread
// the runtime starts is started so: the caller's thread holds those
// signals off while it makes and registers a pending file, and a handler
// run on another thread in between would leave that file behind.
std::thread StartWorkerThread(std::function<void()> work);

}  // namespace arjrt
