// What SIGINT, SIGTERM and SIGHUP do to a running command: remove the
// files it had under way (a new archive's temporary file, a `.part` file)
// and exit with 128 + the signal's number, as a shell reports it. Once the
// command's change is made (arjhost::ChangeMade) there is nothing to
// undo: the notice given for that case is printed, with its exit code.
#pragma once

#include <signal.h>

#include <string>

namespace cli {

void RemovePendingFilesOnSignals();

// The line a signal prints once the change is made (cut to 1 KiB), and the
// exit code it ends with then: 0, or 1 when the change leaves work undone.
void SetNoticeOnceChanged(const std::string& line, int exit_code = 0);

// Holds SIGINT, SIGTERM and SIGHUP off for its life, for work after the
// change that must say what it left undone (add --move's removals) rather
// than end in the handler.
class HeldSignals {
 public:
  HeldSignals();
  ~HeldSignals();  // a signal taken by Came() is not delivered again
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;
  // Whether one of them came (it is taken: the work stops, and says so).
  bool Came();

 private:
  sigset_t previous_;
  bool came_ = false;
};

}  // namespace cli
