#include "cli/commands/interrupts.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <initializer_list>

#include "cli/commands/commands.h"
#include "runtime/api/pending_files.h"

namespace cli {
namespace {

constexpr int kSignalExitBase = 128;

char notice_once_changed[1024];
std::atomic<size_t> notice_length{0};
std::atomic<int> notice_exit_code{kExitOk};

// Only async-signal-safe calls: unlinkat(2) inside, or write(2), then
// _exit(2).
void OnSignal(int signal_number) {
  if (arjhost::ChangeMade()) {
    if (const size_t n = notice_length.load(); n != 0) {
      const ssize_t ignored = ::write(STDERR_FILENO, notice_once_changed, n);
      (void)ignored;
    }
    ::_exit(notice_exit_code.load());
  }
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

HeldSignals::HeldSignals() {
  const sigset_t ending = arjhost::EndingSignals();
  pthread_sigmask(SIG_BLOCK, &ending, &previous_);
}

HeldSignals::~HeldSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

bool HeldSignals::Came() {
  if (came_) return true;
  const sigset_t ending = arjhost::EndingSignals();
  const timespec now{0, 0};
  came_ = sigtimedwait(&ending, nullptr, &now) > 0;
  return came_;
}

void SetNoticeOnceChanged(const std::string& line, int exit_code) {
  // Set before the change can be made, and read only after it.
  notice_length.store(0);
  notice_exit_code.store(exit_code);
  const size_t n = std::min(line.size(), sizeof notice_once_changed);
  std::memcpy(notice_once_changed, line.data(), n);
  notice_length.store(n);
}

}  // namespace cli
