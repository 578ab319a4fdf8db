#include "runtime/services/pending_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <initializer_list>

namespace arjrt {
namespace {

constexpr int kSlots = 16;
constexpr size_t kNameSize = 4096;

// A slot is claimed (kFilling) before its name is copied, and published
// (kReady) after: a handler only reads ready slots.
enum SlotState : int { kFree = 0, kFilling = 1, kReady = 2 };

struct Slot {
  std::atomic<int> state{kFree};
  int dir_fd = AT_FDCWD;
  char name[kNameSize] = {};
};

Slot slots[kSlots];
std::atomic<bool> change_made{false};

}  // namespace

int AddPendingFile(int dir_fd, const char* name) {
  const size_t length = std::strlen(name);
  if (length == 0 || length >= kNameSize) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (!slots[i].state.compare_exchange_strong(expected, kFilling)) continue;
    slots[i].dir_fd = dir_fd;
    std::memcpy(slots[i].name, name, length + 1);
    slots[i].state.store(kReady);
    return i;
  }
  return -1;
}

void ForgetPendingFile(int slot) {
  if (slot >= 0 && slot < kSlots) slots[slot].state.store(kFree);
}

void RemovePendingFiles() {
  for (Slot& s : slots)
    if (s.state.load() == kReady) ::unlinkat(s.dir_fd, s.name, 0);
}

sigset_t EndingSignals() {
  sigset_t ending;
  sigemptyset(&ending);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ending, signal_number);
  return ending;
}

bool MakeTheChange(const std::function<bool()>& step) {
  const sigset_t ending = EndingSignals();
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &ending, &previous);
  const bool made = step();
  if (made) change_made.store(true);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return made;
}

bool ChangeMade() { return change_made.load(); }

std::thread StartWorkerThread(std::function<void()> work) {
  // A new thread inherits the mask of the thread that starts it; the
  // starter's own mask comes back however the start ends.
  struct MaskBack {
    sigset_t previous;
    ~MaskBack() { pthread_sigmask(SIG_SETMASK, &previous, nullptr); }
  } back;
  const sigset_t ending = EndingSignals();
  pthread_sigmask(SIG_BLOCK, &ending, &back.previous);
  return std::thread(std::move(work));
}

}  // namespace arjrt
