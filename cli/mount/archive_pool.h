// Openings of one archive shared by the mount's threads: an Archive is
// used by one thread at a time, so each reader leases one, and more are
// opened (each with a host of its own) up to a bound while all are busy.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "runtime/api/archive.h"
#include "runtime/api/host.h"

namespace cli {

struct ArchiveOpening {
  std::unique_ptr<arjhost::Host> host;
  std::unique_ptr<arjhost::Archive> archive;
};

class ArchivePool {
 public:
  // Another opening of the archive that reads the same entries, or one
  // without an archive when it cannot be had.
  using Opener = std::function<ArchiveOpening()>;

  // `first` is the caller's and outlives the pool.
  ArchivePool(arjhost::Archive& first, Opener more, size_t most);

  class Lease {
   public:
    Lease(ArchivePool& pool, size_t slot) : pool_(&pool), slot_(slot) {}
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease();
    arjhost::Archive& archive() const;

   private:
    ArchivePool* pool_;
    size_t slot_;
  };

  // Waits for an opening no other thread holds.
  Lease Take();

 private:
  struct Slot {
    arjhost::Archive* archive = nullptr;
    ArchiveOpening owned;  // empty for the caller's
    bool busy = false;
  };

  Opener more_;
  size_t most_;
  bool opening_ = false;  // one thread opens another at a time
  std::mutex mutex_;
  std::condition_variable freed_;
  std::vector<std::unique_ptr<Slot>> slots_;
};

}  // namespace cli
