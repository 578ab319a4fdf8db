// Tests and extracts the entries of one archive on worker threads. Each
// worker has a host and an opening of the archive's file of its own, so no
// object is ever used by two threads. Outcomes are collected in the order
// the entries were handed in, so that whoever reports them keeps the
// archive's order; a garbled entry is done by Collect itself, on the
// caller's archive and thread, in its turn, so passwords are asked in order.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runtime/api/archive.h"
#include "runtime/api/host.h"

namespace arjhost {

class EntryWorkers {
 public:
  // Starts `count` workers, each opening `path` as `archive` was opened
  // (from a file, with `options`). A worker whose opening fails, or lists
  // other entries, leaves its share to the others or to Collect.
  EntryWorkers(Host& host, Archive& archive, const std::string& path, const OpenOptions& options, unsigned count);
  ~EntryWorkers();  // waits for the entries under way, drops the rest
  EntryWorkers(const EntryWorkers&) = delete;
  EntryWorkers& operator=(const EntryWorkers&) = delete;

  // Queues the test of `entry` (fd < 0) or its extraction into `fd`, which
  // stays open until its outcome is collected.
  void Submit(const EntryInfo& entry, int fd, const PasswordSource& passwords);
  size_t queued() const;
  // The outcome of the earliest entry queued and not yet collected, waiting
  // for it; Submit must have queued one.
  ExtractOutcome Collect();

 private:
  struct Job;
  struct Worker;

  void Work(Worker& worker);
  static ExtractOutcome Run(Archive& archive, Job& job);

  Archive& archive_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::unique_ptr<Job>> jobs_;  // queued, in order
  size_t next_ = 0;                        // the first job no worker has taken (an index into jobs_)
  size_t live_workers_ = 0;
  bool stopping_ = false;
  std::vector<std::unique_ptr<Worker>> workers_;
};

// Workers worth starting for `entries` entries: one a core, none when
// there are too few entries to share, or so many that each worker's copy of
// the archive's tables would cost more than the work saved.
unsigned EntryWorkerCount(size_t entries);

}  // namespace arjhost
