// One writer at a time. Every door that rewrites an archive takes its lock
// before it reads the archive (or finds none) and holds it through the
// commit; a second writer fails "in use" at once rather than wait (a
// script sees why, and retries when it wants). The lock is a file beside
// the archive's first volume (named after it, ".arjhost-lock"), held with
// flock(2): a writer that dies releases it with its descriptors, and the
// file, whoever left it, takes the next writer's lock as well.
#pragma once

#include <memory>
#include <string>

#include "runtime/api/export.h"
#include "runtime/api/status.h"

namespace arjhost {

class ARJHOST_API WriterLock {
 public:
  // Takes the lock of the archive at `path`, which need not exist (a set's
  // whichever volume is named; a link's target's). kInUse when another
  // writer holds it, kRefused when a file of the lock's name is not such a
  // lock (it is never written), kIoError when it cannot be made.
  static Status Take(const std::string& path, std::unique_ptr<WriterLock>* lock);
  // Whether this process holds the lock of the archive at `path`.
  static bool HeldFor(const std::string& path);

  ~WriterLock();  // removes the lock file and lets it go
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;

  const std::string& file() const { return file_; }

 private:
  WriterLock(std::string file, int fd, int pending_slot) : file_(std::move(file)), fd_(fd), pending_slot_(pending_slot) {}
  std::string file_;
  int fd_;
  int pending_slot_;
};

}  // namespace arjhost
