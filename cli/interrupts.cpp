#include "cli/interrupts.h"

#include <signal.h>
#include <unistd.h>

#include <initializer_list>

#include "runtime/api/pending_files.h"

namespace cli {
namespace {

constexpr int kSignalExitBase = 128;

// Only async-signal-safe calls: unlinkat(2) inside, then _exit(2).
void OnSignal(int signal_number) {
  arjhost::RemovePendingFiles();
  ::_exit(kSignalExitBase + signal_number);
}

}  // namespace

void RemovePendingFilesOnSignals() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigfillset(&action.sa_mask);  // one signal's cleanup is not cut short by another
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous {};
    // A signal ignored by whoever started us (nohup) stays ignored.
    if (sigaction(signal_number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaction(signal_number, &action, nullptr);
  }
}

}  // namespace cli
