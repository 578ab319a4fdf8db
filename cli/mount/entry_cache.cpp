#include "cli/mount/entry_cache.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

#include "runtime/api/scratch_file.h"

namespace cli {

struct EntryCache::Spill {
  int fd = -1;
  uint64_t decoded = 0;  // bytes in the file so far
  bool finished = false;
  bool stopping = false;
  arjhost::ExtractResult result;
  std::thread thread;

  ~Spill() {
    if (fd >= 0) close(fd);
  }
};

EntryCache::EntryCache(ArchivePool& pool, const std::vector<arjhost::EntryInfo>& entries,
                       arjhost::PasswordSource passwords, uint64_t cache_bytes, Report report)
    : pool_(pool), entries_(entries), passwords_(std::move(passwords)), cache_bytes_(cache_bytes),
      report_(std::move(report)) {}

EntryCache::~EntryCache() {
  std::unique_lock<std::mutex> lock(mutex_);
  stopping_ = true;
  changed_.notify_all();
  if (ahead_thread_.joinable()) {
    lock.unlock();
    ahead_thread_.join();
    lock.lock();
  }
  std::vector<std::shared_ptr<Spill>> spills;
  for (auto& [index, state] : states_)
    if (state.spill) spills.push_back(std::move(state.spill));
  for (std::shared_ptr<Spill>& spill : spills) StopSpill(lock, std::move(spill));
}

int64_t EntryCache::Read(size_t index, uint64_t offset, void* buffer, size_t size) {
  const arjhost::EntryInfo& entry = entries_[index];
  // An empty entry is decoded all the same: a damaged one is no empty file.
  if (size == 0 || (offset >= entry.size && entry.size != 0)) return 0;
  size = static_cast<size_t>(std::min<uint64_t>(size, entry.size - std::min(offset, entry.size)));
  if (entry.size > cache_bytes_) return ReadSpilled(index, offset, buffer, size);
  return ReadHeld(index, offset, buffer, size);
}

void EntryCache::Fail(size_t index, const std::string& why) {
  State& state = states_[index];
  if (state.failed) return;
  state.failed = true;
  state.why = why;
  changed_.notify_all();
}

int64_t EntryCache::Failed(std::unique_lock<std::mutex>& lock, size_t index) {
  State& state = states_[index];
  if (!std::exchange(state.said, true)) {
    const std::string why = state.why;
    lock.unlock();
    report_(entries_[index], why);
    lock.lock();
  }
  return -EIO;
}

void EntryCache::MakeRoom(uint64_t size) {
  while (held_ + size > cache_bytes_ && !recent_.empty()) {
    const size_t oldest = recent_.back();
    recent_.pop_back();
    State& state = states_[oldest];
    held_ -= entries_[oldest].size;
    state.bytes.reset();  // a reader copying from them keeps them until it is done
    Forget(oldest);
  }
}

void EntryCache::Forget(size_t index) {
  const auto found = states_.find(index);
  if (found == states_.end()) return;
  const State& state = found->second;
  if (!state.failed && !state.decoding && !state.bytes && !state.spill && state.opened == 0) states_.erase(found);
}

std::shared_ptr<const std::vector<uint8_t>> EntryCache::Hold(std::unique_lock<std::mutex>& lock, size_t index) {
  const arjhost::EntryInfo& entry = entries_[index];
  for (;;) {
    State& state = states_[index];
    if (state.failed) return nullptr;
    if (state.bytes) {
      recent_.splice(recent_.begin(), recent_, state.recent);
      return state.bytes;
    }
    if (state.decoding) {
      changed_.wait(lock);
      continue;
    }
    MakeRoom(entry.size);
    // Others decoding fill the cache: the memory waits for them.
    if (held_ + entry.size > cache_bytes_) {
      changed_.wait(lock);
      continue;
    }
    state.decoding = true;
    held_ += entry.size;
    break;
  }
  lock.unlock();
  auto bytes = std::make_shared<std::vector<uint8_t>>();
  bytes->reserve(static_cast<size_t>(entry.size));
  arjhost::ExtractResult result;
  {
    ArchivePool::Lease lease = pool_.Take();
    result = lease.archive().Stream(entry, [&bytes, &entry](const uint8_t* data, size_t n) {
      if (n > entry.size - bytes->size()) return false;  // more than the header says: not held
      bytes->insert(bytes->end(), data, data + n);
      return true;
    }, passwords_);
  }
  lock.lock();
  State& state = states_[index];
  state.decoding = false;
  changed_.notify_all();
  if (!result.ok() || bytes->size() != entry.size) {
    held_ -= entry.size;
    Fail(index, result.ok() ? "more bytes than its header says" : result.status.message);
    return nullptr;
  }
  state.bytes = std::move(bytes);
  recent_.push_front(index);
  state.recent = recent_.begin();
  return state.bytes;
}

int64_t EntryCache::ReadHeld(size_t index, uint64_t offset, void* buffer, size_t size) {
  std::unique_lock<std::mutex> lock(mutex_);
  const std::shared_ptr<const std::vector<uint8_t>> bytes = Hold(lock, index);
  if (!bytes) return Failed(lock, index);
  lock.unlock();
  if (size != 0) std::memcpy(buffer, bytes->data() + offset, size);
  return static_cast<int64_t>(size);
}

void EntryCache::DecodeAhead(const std::vector<size_t>& indices) {
  std::lock_guard<std::mutex> lock(mutex_);
  ahead_.clear();
  for (size_t index : indices)
    if (entries_[index].size <= cache_bytes_ / 4) ahead_.push_back(index);  // the reader's room stays
  if (ahead_.empty()) return;
  if (!ahead_thread_.joinable()) ahead_thread_ = std::thread([this] { DecodeAheadLoop(); });
  changed_.notify_all();
}

void EntryCache::DecodeAheadLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !ahead_.empty(); });
    if (stopping_) return;
    const size_t index = ahead_.front();
    ahead_.erase(ahead_.begin());
    Hold(lock, index);  // a failure waits for a reader to say it
  }
}

void EntryCache::DecodeIntoSpill(size_t index, const std::shared_ptr<Spill>& spill) {
  const arjhost::EntryInfo& entry = entries_[index];
  std::string failure;
  arjhost::ExtractResult result;
  {
    ArchivePool::Lease lease = pool_.Take();
    result = lease.archive().Stream(entry, [this, &spill, &entry, &failure](const uint8_t* data, size_t n) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (spill->stopping) return false;
      }
      if (n > entry.size - spill->decoded) {
        failure = "more bytes than its header says";
        return false;
      }
      for (size_t done = 0; done < n;) {
        const ssize_t written = pwrite(spill->fd, data + done, n - done, static_cast<off_t>(spill->decoded + done));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
          failure = std::string("cannot write its spill file: ") + std::strerror(written < 0 ? errno : ENOSPC);
          return false;
        }
        done += static_cast<size_t>(written);
      }
      std::lock_guard<std::mutex> lock(mutex_);
      spill->decoded += n;
      changed_.notify_all();
      return true;
    }, passwords_);
  }
  std::unique_lock<std::mutex> lock(mutex_);
  spill->finished = true;
  spill->result = result;
  changed_.notify_all();
  if (spill->stopping) return;
  if (failure.empty() && !result.ok()) failure = result.status.message;
  if (failure.empty() && spill->decoded != entry.size) failure = "fewer bytes than its header says";
  if (!failure.empty()) Fail(index, failure);
}

int64_t EntryCache::ReadSpilled(size_t index, uint64_t offset, void* buffer, size_t size) {
  const arjhost::EntryInfo& entry = entries_[index];
  std::unique_lock<std::mutex> lock(mutex_);
  State& state = states_[index];
  if (state.failed) return Failed(lock, index);
  if (!state.spill) {
    auto spill = std::make_shared<Spill>();
    spill->fd = arjhost::OpenScratchFile();
    if (spill->fd < 0) {
      Fail(index, std::string("cannot make a spill file: ") + std::strerror(errno));
      return Failed(lock, index);
    }
    state.spill = spill;
    ++spills_;
    spill->thread = std::thread([this, index, spill] { DecodeIntoSpill(index, spill); });
  }
  const std::shared_ptr<Spill> spill = state.spill;
  // The last bytes come with the verdict on the whole entry.
  const uint64_t end = offset + size;
  changed_.wait(lock, [&] {
    return spill->finished || states_[index].failed || (spill->decoded >= end && end < entry.size);
  });
  if (states_[index].failed) return Failed(lock, index);
  if (spill->finished && !spill->result.ok()) return -EIO;  // stopped: released meanwhile
  lock.unlock();
  for (size_t done = 0; done < size;) {
    const ssize_t n = pread(spill->fd, static_cast<uint8_t*>(buffer) + done, size - done,
                            static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -EIO;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(size);
}

void EntryCache::Opened(size_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++states_[index].opened;
}

void EntryCache::StopSpill(std::unique_lock<std::mutex>& lock, std::shared_ptr<Spill> spill) {
  spill->stopping = true;
  changed_.notify_all();
  lock.unlock();
  if (spill->thread.joinable()) spill->thread.join();
  lock.lock();
  --spills_;
}

void EntryCache::Released(size_t index) {
  std::unique_lock<std::mutex> lock(mutex_);
  State& state = states_[index];
  if (state.opened > 0) --state.opened;
  if (state.opened == 0 && state.spill) {
    std::shared_ptr<Spill> spill = std::move(state.spill);
    StopSpill(lock, std::move(spill));
  }
  Forget(index);
}

uint64_t EntryCache::held_bytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return held_;
}

size_t EntryCache::spills() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return spills_;
}

}  // namespace cli
