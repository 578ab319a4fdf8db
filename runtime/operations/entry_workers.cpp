#include "runtime/operations/entry_workers.h"

#include <algorithm>

#include "runtime/api/internal/host_state.h"
#include "runtime/services/pending_files.h"

namespace arjhost {
namespace {

// Every worker opens the archive again: the plug-in's tables take about
// 600 bytes an entry, and reading the headers a few microseconds an
// entry, less than decoding 4 KiB takes (archives of 10,000 entries of
// 11 KiB on average test in 0.30 s on two threads, 0.52 s on one; of
// tiny entries, in the same time). Workers start only when the entries
// bring more than that to decode, and their tables together stay within
// a budget.
constexpr uint64_t kTableBytesPerEntry = 640;
constexpr uint64_t kWorkerTablesBudget = uint64_t{32} << 20;
constexpr uint64_t kBytesPerEntryWorthAWorker = uint64_t{4} << 10;
constexpr size_t kMinEntriesForWorkers = 2;

}  // namespace

struct EntryWorkers::Job {
  EntryInfo entry;
  int fd = -1;
  PasswordSource passwords;
  bool in_turn = false;  // done by Collect in its turn: its password may be asked
  bool taken = false;
  bool done = false;
  ExtractResult outcome;
};

struct EntryWorkers::Worker {
  Host host;
  std::unique_ptr<Archive> archive;
  std::thread thread;
};

namespace {

// What tells two openings of an archive apart: the digests of every
// volume's headers, and what the opening cut or found damaged.
struct Opening {
  uint64_t digest = 0;
  std::vector<uint64_t> volume_digests;
  std::vector<std::string> volumes;
  bool damaged = false;
  size_t skipped = 0;

  explicit Opening(const ArchiveState& s)
      : digest(s.digest), volume_digests(s.volume_digests), volumes(s.volumes), damaged(s.damaged),
        skipped(s.skipped.size()) {}
  bool operator==(const Opening& o) const {
    return digest == o.digest && volume_digests == o.volume_digests && volumes == o.volumes && damaged == o.damaged &&
           skipped == o.skipped;
  }
};

}  // namespace

EntryWorkers::EntryWorkers(Host& host, Archive& archive, const std::string& path, const OpenOptions& options,
                           unsigned count)
    : archive_(archive) {
  // The plug-in is loaded here, one host at a time; each worker opens the
  // archive on its own thread, beside the caller's work (Collect does the
  // entries meanwhile): opening a large archive takes as long as testing
  // many of its entries.
  for (unsigned i = 0; i < count; ++i) {
    auto w = std::make_unique<Worker>();
    w->host.SetLimits(host.limits());
    HostAccess::ShareUnpackedCount(w->host, host);
    if (!w->host.LoadPlugin(host.plugin_path()).ok()) break;
    workers_.push_back(std::move(w));
  }
  const Opening expected(archive.state());
  for (auto& w : workers_) {
    Worker* worker = w.get();
    w->thread = arjrt::StartWorkerThread([this, worker, path, options, expected] {
      worker->archive = Archive::OpenFile(worker->host, path, options).archive;
      // The same headers, so the same entries under the same handles, or
      // the worker stays out.
      if (worker->archive && Opening(worker->archive->state()) == expected) Work(*worker);
    });
  }
}

EntryWorkers::~EntryWorkers() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  work_.notify_all();
  for (auto& w : workers_) w->thread.join();
}

ExtractResult EntryWorkers::Run(Archive& archive, Job& job) {
  return job.fd < 0 ? archive.Test(job.entry, job.passwords) : archive.ExtractToFile(job.entry, job.fd, job.passwords);
}

void EntryWorkers::Work(Worker& worker) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // Garbled entries wait for Collect: their passwords are asked in order.
    while (next_ < jobs_.size() && (jobs_[next_]->taken || jobs_[next_]->in_turn)) ++next_;
    if (stopping_) return;
    if (next_ == jobs_.size()) {
      work_.wait(lock);
      continue;
    }
    Job& job = *jobs_[next_++];
    job.taken = true;
    lock.unlock();
    ExtractResult outcome = Run(*worker.archive, job);
    lock.lock();
    job.outcome = std::move(outcome);
    job.done = true;
    done_.notify_one();  // only Collect waits there
  }
}

void EntryWorkers::Submit(const EntryInfo& entry, int fd, const PasswordSource& passwords) {
  auto job = std::make_unique<Job>();
  job->entry = entry;
  job->fd = fd;
  job->passwords = passwords;
  job->in_turn = entry.garbled && garbled_in_turn_;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  work_.notify_one();
}

size_t EntryWorkers::queued() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return jobs_.size();
}

EntryWorkers::Job* EntryWorkers::JobForCollector() const {
  Job& head = *jobs_.front();
  if (!head.taken) return &head;
  // A garbled entry only in its turn: its password is asked after the
  // entries before it are reported.
  for (size_t i = next_; i < jobs_.size(); ++i)
    if (!jobs_[i]->taken && !jobs_[i]->in_turn) return jobs_[i].get();
  return nullptr;
}

ExtractResult EntryWorkers::Collect() {
  std::unique_lock<std::mutex> lock(mutex_);
  Job& head = *jobs_.front();
  // This thread does what no worker has come to (they may be opening the
  // archive still, or gone) rather than wait idle for the earliest.
  while (!head.done) {
    if (Job* job = JobForCollector(); job != nullptr) {
      job->taken = true;
      lock.unlock();
      ExtractResult outcome = Run(archive_, *job);
      lock.lock();
      job->outcome = std::move(outcome);
      job->done = true;
      continue;
    }
    done_.wait(lock);
  }
  ExtractResult outcome = std::move(head.outcome);
  jobs_.pop_front();
  next_ = next_ > 0 ? next_ - 1 : 0;
  return outcome;
}

unsigned EntryWorkerCount(size_t entries, size_t chosen, uint64_t bytes) {
  const unsigned cores = std::thread::hardware_concurrency();
  if (cores < 2 || chosen < kMinEntriesForWorkers || bytes / kBytesPerEntryWorthAWorker < entries) return 0;
  const uint64_t by_memory = kWorkerTablesBudget / (std::max<uint64_t>(entries, 1) * kTableBytesPerEntry);
  // The caller's thread decodes too (Collect).
  return static_cast<unsigned>(std::min<uint64_t>(cores - 1, by_memory));
}

}  // namespace arjhost
