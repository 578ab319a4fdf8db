#include "runtime/api/entry_workers.h"

#include <algorithm>

#include "runtime/api/pending_files.h"

namespace arjhost {
namespace {

// The plug-in's tables take about 600 bytes an entry in every opening.
constexpr size_t kMaxEntriesForWorkers = 10000;
constexpr size_t kMinEntriesForWorkers = 2;

}  // namespace

struct EntryWorkers::Job {
  EntryInfo entry;
  int fd = -1;
  PasswordSource passwords;
  bool taken = false;
  bool done = false;
  ExtractOutcome outcome;
};

struct EntryWorkers::Worker {
  Host host;
  std::unique_ptr<Archive> archive;
  std::thread thread;
};

EntryWorkers::EntryWorkers(Host& host, Archive& archive, const std::string& path, const OpenOptions& options,
                           unsigned count)
    : archive_(archive) {
  const std::vector<EntryInfo> expected = archive.Entries();
  for (unsigned i = 0; i < count; ++i) {
    auto w = std::make_unique<Worker>();
    std::string error;
    w->host.SetLimits(host.limits());
    w->host.ShareUnpackedCount(host);
    if (!w->host.LoadPlugin(host.plugin_path(), &error)) break;
    w->archive = Archive::OpenFile(w->host, path, options, &error);
    // The same entries under the same handles, or the worker stays out.
    if (!w->archive) break;
    const std::vector<EntryInfo> listed = w->archive->Entries();
    bool same = listed.size() == expected.size();
    for (size_t k = 0; same && k < listed.size(); ++k)
      same = listed[k].handle == expected[k].handle && listed[k].name == expected[k].name &&
             listed[k].size == expected[k].size && listed[k].crc == expected[k].crc;
    if (!same) break;
    workers_.push_back(std::move(w));
  }
  live_workers_ = workers_.size();
  for (auto& w : workers_) {
    Worker* worker = w.get();
    w->thread = StartWorkerThread([this, worker] { Work(*worker); });
  }
}

EntryWorkers::~EntryWorkers() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (auto& w : workers_) w->thread.join();
}

ExtractOutcome EntryWorkers::Run(Archive& archive, Job& job) {
  return job.fd < 0 ? archive.Test(job.entry, job.passwords) : archive.ExtractToFile(job.entry, job.fd, job.passwords);
}

void EntryWorkers::Work(Worker& worker) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // Garbled entries wait for Collect: their passwords are asked in order.
    while (next_ < jobs_.size() && (jobs_[next_]->taken || jobs_[next_]->entry.garbled)) ++next_;
    if (stopping_) break;
    if (next_ == jobs_.size()) {
      changed_.wait(lock);
      continue;
    }
    Job& job = *jobs_[next_++];
    job.taken = true;
    lock.unlock();
    ExtractOutcome outcome = Run(*worker.archive, job);
    lock.lock();
    job.outcome = std::move(outcome);
    job.done = true;
    changed_.notify_all();
  }
  --live_workers_;
  changed_.notify_all();
}

void EntryWorkers::Submit(const EntryInfo& entry, int fd, const PasswordSource& passwords) {
  auto job = std::make_unique<Job>();
  job->entry = entry;
  job->fd = fd;
  job->passwords = passwords;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  changed_.notify_all();
}

size_t EntryWorkers::queued() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return jobs_.size();
}

ExtractOutcome EntryWorkers::Collect() {
  std::unique_lock<std::mutex> lock(mutex_);
  Job& head = *jobs_.front();
  if (!head.taken && (head.entry.garbled || live_workers_ == 0)) {
    head.taken = true;
    lock.unlock();
    head.outcome = Run(archive_, head);
    lock.lock();
    head.done = true;
  }
  changed_.wait(lock, [&] { return head.done; });
  ExtractOutcome outcome = std::move(head.outcome);
  jobs_.pop_front();
  next_ = next_ > 0 ? next_ - 1 : 0;
  return outcome;
}

unsigned EntryWorkerCount(size_t entries) {
  if (entries < kMinEntriesForWorkers || entries > kMaxEntriesForWorkers) return 0;
  return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace arjhost
