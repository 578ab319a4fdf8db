#include "runtime/services/pending_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <initializer_list>
#include <new>

namespace arjrt {
namespace {

constexpr int kSlotsPerChunk = 64;
constexpr size_t kNameSize = 4096;

// A slot is claimed (kFilling) before its name is copied, and published
// (kReady) after: a handler only reads ready slots.
enum SlotState : int { kFree = 0, kFilling = 1, kReady = 2 };

struct Slot {
  std::atomic<int> state{kFree};
  int dir_fd = AT_FDCWD;
  char name[kNameSize] = {};
};

// However many files are under way (a set of hundreds of volumes): chunks
// are added as the ones before fill, and never freed, so that a handler can
// walk them at any moment.
struct Chunk {
  Slot slots[kSlotsPerChunk];
  std::atomic<Chunk*> next{nullptr};
};

Chunk first_chunk;
std::atomic<bool> change_made{false};

Slot* SlotAt(int slot) {
  if (slot < 0) return nullptr;
  Chunk* chunk = &first_chunk;
  for (int n = slot / kSlotsPerChunk; n > 0 && chunk != nullptr; --n) chunk = chunk->next.load();
  return chunk != nullptr ? &chunk->slots[slot % kSlotsPerChunk] : nullptr;
}

}  // namespace

int AddPendingFile(int dir_fd, const char* name) {
  const size_t length = std::strlen(name);
  if (length == 0 || length >= kNameSize) return -1;
  int base = 0;
  for (Chunk* chunk = &first_chunk;; base += kSlotsPerChunk) {
    for (int i = 0; i < kSlotsPerChunk; ++i) {
      Slot& slot = chunk->slots[i];
      int expected = kFree;
      if (!slot.state.compare_exchange_strong(expected, kFilling)) continue;
      slot.dir_fd = dir_fd;
      std::memcpy(slot.name, name, length + 1);
      slot.state.store(kReady);
      return base + i;
    }
    Chunk* next = chunk->next.load();
    if (next == nullptr) {
      Chunk* made = new (std::nothrow) Chunk;
      if (made == nullptr) return -1;
      // Another thread may have added one meanwhile: then that one is next.
      if (chunk->next.compare_exchange_strong(next, made)) next = made;
      else delete made;
    }
    chunk = next;
  }
}

void ForgetPendingFile(int slot) {
  if (Slot* s = SlotAt(slot)) s->state.store(kFree);
}

void RemovePendingFiles() {
  for (Chunk* chunk = &first_chunk; chunk != nullptr; chunk = chunk->next.load())
    for (Slot& s : chunk->slots)
      if (s.state.load() == kReady) ::unlinkat(s.dir_fd, s.name, 0);
}

sigset_t EndingSignals() {
  sigset_t ending;
  sigemptyset(&ending);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ending, signal_number);
  return ending;
}

EndingSignalsHeld::EndingSignalsHeld() {
  const sigset_t ending = EndingSignals();
  pthread_sigmask(SIG_BLOCK, &ending, &previous_);
}

EndingSignalsHeld::~EndingSignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

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
