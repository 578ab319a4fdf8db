// Tests and extracts the entries of one archive on worker threads. Each
// worker has a host and an opening of the archive's file of its own, so no
// object is ever used by two threads. Outcomes are collected in the order
// the entries were handed in, so that whoever reports them keeps the
// archive's order; a garbled entry is done by Collect itself, on the
// caller's archive and thread, in its turn, so passwords are asked in order
// (unless AllowGarbledOnWorkers says no one is asked).
// While it waits, Collect does entries no worker has come to: the caller's
// thread is a worker too. The workers' threads never take SIGINT, SIGTERM
// or SIGHUP (pending_files.h): the program takes them on a thread of its own.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runtime/api/archive.h"
#include "runtime/api/export.h"
#include "runtime/api/host.h"

namespace arjhost {

class ARJHOST_API EntryWorkers {
 public:
  // Starts `count` workers, each opening `path` as `archive` was opened
  // (from a file, with `options`) on its own thread. A worker whose opening
  // fails, or reads other headers, leaves its share to the others or to
  // Collect.
  EntryWorkers(Host& host, Archive& archive, const std::string& path, const OpenOptions& options, unsigned count);
  ~EntryWorkers();  // waits for the entries under way, drops the rest
  EntryWorkers(const EntryWorkers&) = delete;
  EntryWorkers& operator=(const EntryWorkers&) = delete;

  // Queues the test of `entry` (fd < 0) or its extraction into `fd`, which
  // stays open until its outcome is collected.
  void Submit(const EntryInfo& entry, int fd, const PasswordSource& passwords);
  // Garbled entries submitted from now on are shared like the others, in
  // any order: for password sources that ask no one (a password given, or
  // none), which answer every entry alike on any thread.
  void AllowGarbledOnWorkers() { garbled_in_turn_ = false; }
  size_t queued() const;
  // The outcome of the earliest entry queued and not yet collected, waiting
  // for it; Submit must have queued one.
  ExtractResult Collect();

 private:
  struct Job;
  struct Worker;

  void Work(Worker& worker);
  static ExtractResult Run(Archive& archive, Job& job);
  // The job Collect does itself while it waits, or null: the earliest
  // when nobody has taken it, else a later one no worker has come to.
  Job* JobForCollector() const;

  Archive& archive_;
  mutable std::mutex mutex_;
  std::condition_variable work_;  // a job queued, or stopping: for the workers
  std::condition_variable done_;  // a job done: for Collect
  std::deque<std::unique_ptr<Job>> jobs_;  // queued, in order
  size_t next_ = 0;                        // the first job no worker has taken (an index into jobs_)
  bool stopping_ = false;
  bool garbled_in_turn_ = true;  // read by Submit, on the caller's thread
  std::vector<std::unique_ptr<Worker>> workers_;
};

// Workers worth starting to test or extract `chosen` entries holding
// `bytes` unpacked, of an archive of `entries` entries: one for every core
// but the caller's (which decodes too, in Collect), none
// when there are too few entries to share or too little to decode for
// what opening the archive again costs each worker, and fewer when their
// copies of the archive's tables would take too much memory.
ARJHOST_API unsigned EntryWorkerCount(size_t entries, size_t chosen, uint64_t bytes);

}  // namespace arjhost
