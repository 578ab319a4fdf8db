#include "runtime/api/writer_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>

#include "runtime/api/internal/rewrite_checks.h"
#include "runtime/api/internal/status_of.h"
#include "runtime/api/internal/volume_names.h"
#include "runtime/services/pending_files.h"

namespace arjhost {
namespace {

constexpr char kSuffix[] = ".arjhost-lock";
// What a lock file holds (then the writer's process id): a file of that
// name holding anything else is someone's own, and is left alone.
constexpr char kSignature[] = "arjhost writer lock";
// A lock file removed by its writer between our open and our flock is
// opened again; so many times in a row means something else is at play.
constexpr int kMaxAttempts = 64;

std::mutex held_mutex;
std::set<std::string> held;  // the lock files this process holds

std::string LockFileOf(const std::string& path) { return FirstVolumeOf(InPlaceTarget(path)) + kSuffix; }

// Whether the open file is a lock file of ours: regular, and empty (its
// maker has yet to write it) or starting with the signature.
bool IsLockFile(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > 256) return false;
  char head[sizeof kSignature - 1];
  const ssize_t n = ::pread(fd, head, sizeof head, 0);
  return n == 0 || (n == static_cast<ssize_t>(sizeof head) && std::memcmp(head, kSignature, sizeof head) == 0);
}

// Whether the descriptor still is the file at `name` (its writer may have
// removed it, and another made a new one, between our open and our lock).
bool StillNamed(int fd, const std::string& name) {
  struct stat by_fd, by_name;
  return ::fstat(fd, &by_fd) == 0 && by_fd.st_nlink > 0 && ::lstat(name.c_str(), &by_name) == 0 &&
         by_fd.st_dev == by_name.st_dev && by_fd.st_ino == by_name.st_ino;
}

}  // namespace

Status WriterLock::Take(const std::string& path, std::unique_ptr<WriterLock>* lock) {
  const std::string file = LockFileOf(path);
  const std::string in_use = path + ": in use by another writer (its lock " + file + " is held); try again once it is done";
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    const arjrt::EndingSignalsHeld signals;  // the file registered for removal as soon as it is made
    bool made = true;
    int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) {
      made = false;
      fd = ::open(file.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
      if (fd < 0 && errno == ENOENT) continue;  // removed meanwhile
    }
    if (fd < 0) {
      const int error = errno;
      if (error == ELOOP) return Failure(Code::kRefused, path + ": cannot be locked: " + file + " is a link");
      return ErrnoStatus(error, path + ": cannot be locked: " + file);
    }
    if (!made && !IsLockFile(fd)) {
      ::close(fd);
      return Failure(Code::kRefused, path + ": cannot be locked: " + file + " exists and is not a writer's lock");
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(fd);
      return error == EWOULDBLOCK ? Failure(Code::kInUse, in_use) : ErrnoStatus(error, path + ": cannot be locked");
    }
    if (!StillNamed(fd, file)) {
      ::close(fd);
      continue;
    }
    std::string text = kSignature;  // built in steps: GCC 12 warns wrongly on the sum
    text += ": process " + std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
      const int error = errno;
      ::unlink(file.c_str());
      ::close(fd);
      return ErrnoStatus(error, path + ": cannot be locked: " + file);
    }
    const int slot = arjrt::AddPendingFile(AT_FDCWD, file.c_str());
    {
      std::lock_guard<std::mutex> guard(held_mutex);
      held.insert(file);
    }
    lock->reset(new WriterLock(file, fd, slot));
    return {};
  }
  return Failure(Code::kInUse, in_use);
}

bool WriterLock::HeldFor(const std::string& path) {
  const std::string file = LockFileOf(path);
  std::lock_guard<std::mutex> guard(held_mutex);
  return held.count(file) != 0;
}

WriterLock::~WriterLock() {
  {
    std::lock_guard<std::mutex> guard(held_mutex);
    held.erase(file_);
  }
  // Removed while still held: a writer waiting on this file finds it gone
  // once it has the lock, and makes a new one.
  ::unlink(file_.c_str());
  arjrt::ForgetPendingFile(pending_slot_);
  ::close(fd_);
}

}  // namespace arjhost
