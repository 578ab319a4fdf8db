#include "runtime/codecs/parallel/encode_ahead.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "runtime/core/runtime.h"
#include "runtime/services/fd_transfer.h"
#include "runtime/services/pending_files.h"

namespace arjrt {

struct EncodeAhead::Chunk {
  enum class State { kWaiting, kRunning, kDone, kTaken };
  State state = State::kWaiting;
  size_t held = 0;  // bytes counted against the budget
  PackedChunk packed;
  uint64_t unpacked = 0;
  ResultCode result = RESULT_OK;
  // Its last kChunkHistory bytes as read, the next chunk's history, kept
  // until that chunk takes them; or why they could not be read.
  bool tail_ready = false;
  ResultCode tail_result = RESULT_OK;
  std::vector<uint8_t> tail;
};

struct EncodeAhead::Job {
  AheadFile file;
  std::vector<Chunk> chunks;
  size_t next_chunk = 0;  // the first not started
  bool given_up = false;
};

namespace {

enum class Pick { kChunk, kWait, kNone };

int64_t ModifiedNs(const struct stat& st) {
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// The file as listed: the same one, of the same size and time.
bool SameFile(const struct stat& st, const AheadFile& f) {
  return IsListedFile(f.listed, st) && static_cast<uint64_t>(st.st_size) == f.size && ModifiedNs(st) == f.modified_ns;
}

size_t ChunkHistory(size_t chunk) { return chunk == 0 ? 0 : kChunkHistory; }

size_t ChunkLength(const AheadFile& f, size_t chunk) {
  return static_cast<size_t>(std::min<uint64_t>(kChunkBytes, f.size - uint64_t{chunk} * kChunkBytes));
}

// Input and history while under way, and room for the packed bytes.
size_t Reservation(size_t history, size_t length) { return history + 2 * length + length / 8 + 4096; }

// Reads the chunk's own bytes into `buffer` (its history comes from the
// chunk before). A file shorter or, at its last chunk, longer than listed
// says so; a change of its bytes shows in the CRC of the chunks.
[[nodiscard]] ResultCode ReadChunk(const AheadFile& f, size_t chunk, uint8_t* buffer, size_t length) {
  int fd = -1;
  struct stat st;
  ResultCode r = OpenListedFile(f.listed, &fd, &st);
  if (Failed(r)) return r;
  const uint64_t offset = uint64_t{chunk} * kChunkBytes;
  uint32_t done = 0;
  if (ReadFullyAt(fd, offset, buffer, static_cast<uint32_t>(length), &done) != 0) r = ERR_IO;
  else if (done < length) r = ERR_CONTENT_SHRANK;
  else if (offset + length == f.size && (::fstat(fd, &st) != 0 || static_cast<uint64_t>(st.st_size) > f.size))
    r = ERR_CONTENT_GREW;
  ::close(fd);
  return r;
}

}  // namespace

class EncodeAhead::Claimed : public PackedChunkSource {
 public:
  Claimed(EncodeAhead& owner, size_t job, size_t chunks) : owner_(owner), job_(job), chunks_(chunks) {}
  ~Claimed() override {
    std::lock_guard<std::mutex> lock(owner_.mutex_);
    owner_.GiveUp(*owner_.jobs_[job_]);
  }
  [[nodiscard]] ResultCode Next(PackedChunk* chunk, uint64_t* unpacked) override {
    *unpacked = 0;
    if (next_ == chunks_) return RESULT_OK;
    return owner_.Take(job_, next_++, chunk, unpacked);
  }

 private:
  EncodeAhead& owner_;
  size_t job_;
  size_t chunks_;
  size_t next_ = 0;
};

EncodeAhead::EncodeAhead(std::vector<AheadFile> files, unsigned workers, size_t budget) : budget_(budget) {
  jobs_.reserve(files.size());
  for (AheadFile& f : files) {
    auto job = std::make_unique<Job>();
    const uint64_t count = (f.size + kChunkBytes - 1) / kChunkBytes;
    job->file = std::move(f);
    job->chunks.resize(static_cast<size_t>(count));
    jobs_.push_back(std::move(job));
  }
  // No more workers than chunks: a delete starts none.
  size_t chunks = 0;
  for (const auto& job : jobs_) chunks += job->chunks.size();
  const size_t count = std::min<size_t>(std::max(1u, workers), chunks);
  for (size_t i = 0; i < count; ++i) workers_.push_back(StartWorkerThread([this] { Work(); }));
}

EncodeAhead::~EncodeAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  room_.notify_all();
  ready_.notify_all();
  tails_.notify_all();
  for (std::thread& t : workers_) t.join();
}

size_t EncodeAhead::peak_held() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return peak_held_;
}

void EncodeAhead::Work() {
  std::vector<uint8_t> input;  // this worker's, reused
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    size_t job = 0, chunk = 0;
    if (!PickChunk(&job, &chunk)) {
      if (next_job_ == jobs_.size()) return;  // nothing left to start
      room_.wait(lock);
      continue;
    }
    lock.unlock();
    PackChunk(job, chunk, input);
    lock.lock();
  }
}

// Under the lock. False with next_job_ at the end: nothing left; else no room.
bool EncodeAhead::PickChunk(size_t* job, size_t* chunk) {
  while (next_job_ < jobs_.size()) {
    Job& j = *jobs_[next_job_];
    if (j.given_up || j.next_chunk == j.chunks.size()) {
      ++next_job_;
      continue;
    }
    const size_t c = j.next_chunk;
    const size_t need = Reservation(ChunkHistory(c), ChunkLength(j.file, c));
    // One chunk always fits: the claimant may be waiting for it.
    if (held_ != 0 && held_ + need > budget_) return false;
    held_ += need;
    peak_held_ = std::max(peak_held_, held_);
    j.chunks[c].state = Chunk::State::kRunning;
    j.chunks[c].held = need;
    ++j.next_chunk;
    *job = next_job_;
    *chunk = c;
    return true;
  }
  return false;
}

// Reads and packs without the lock (a job's file never changes once
// listed), taking it to hand the chunk's tail on and to take its history.
void EncodeAhead::PackChunk(size_t job, size_t chunk, std::vector<uint8_t>& input) {
  Job& j = *jobs_[job];
  const AheadFile& f = j.file;
  const size_t history = ChunkHistory(chunk);
  input.resize(history + ChunkLength(f, chunk));
  ResultCode r = ReadChunk(f, chunk, input.data() + history, input.size() - history);
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (chunk + 1 < j.chunks.size()) {
      Chunk& c = j.chunks[chunk];
      c.tail_result = r;
      // Kept only for a next chunk that may still be packed.
      if (!Failed(r) && !(j.given_up && j.chunks[chunk + 1].state == Chunk::State::kWaiting))
        c.tail.assign(input.end() - static_cast<ptrdiff_t>(kChunkHistory), input.end());
      c.tail_ready = true;
      tails_.notify_all();
    }
    if (!Failed(r) && chunk != 0) r = TakeHistory(j, chunk, input, lock);
  }
  PackedChunk packed;
  if (!Failed(r)) r = EncodeChunk(f.method, input.data(), history, input.size(), &packed);
  std::lock_guard<std::mutex> lock(mutex_);
  Chunk& c = j.chunks[chunk];
  const size_t keep = j.given_up ? 0 : packed.bytes.capacity();
  held_ = held_ - c.held + keep;
  peak_held_ = std::max(peak_held_, held_);
  c.held = keep;
  c.result = r;
  c.unpacked = input.size() - history;
  if (!j.given_up) c.packed = std::move(packed);
  c.state = Chunk::State::kDone;
  room_.notify_all();
  ready_.notify_all();
}

// Under `lock`: the chunk before hands over its tail as our history. Its
// worker posts it before it waits for anything, so this wait is short.
ResultCode EncodeAhead::TakeHistory(Job& job, size_t chunk, std::vector<uint8_t>& input,
                                    std::unique_lock<std::mutex>& lock) {
  Chunk& before = job.chunks[chunk - 1];
  tails_.wait(lock, [&] { return before.tail_ready || stopping_; });
  if (!before.tail_ready) return ERR_CANCELLED;
  if (Failed(before.tail_result)) return before.tail_result;
  if (before.tail.size() != kChunkHistory) return ERR_CANCELLED;
  std::copy(before.tail.begin(), before.tail.end(), input.begin());
  std::vector<uint8_t>().swap(before.tail);
  return RESULT_OK;
}

// Under the lock.
void EncodeAhead::GiveUp(Job& job) {
  job.given_up = true;
  for (size_t i = 0; i + 1 < job.chunks.size(); ++i)
    if (job.chunks[i + 1].state == Chunk::State::kWaiting) std::vector<uint8_t>().swap(job.chunks[i].tail);
  for (Chunk& c : job.chunks) {
    if (c.state != Chunk::State::kDone) continue;
    Release(c.held);
    c.held = 0;
    c.packed = PackedChunk{};
    c.state = Chunk::State::kTaken;
  }
  room_.notify_all();
}

void EncodeAhead::Release(size_t bytes) { held_ -= std::min(bytes, held_); }

ResultCode EncodeAhead::Take(size_t job, size_t chunk, PackedChunk* out, uint64_t* unpacked) {
  std::unique_lock<std::mutex> lock(mutex_);
  Chunk& c = jobs_[job]->chunks[chunk];
  ready_.wait(lock, [&] { return c.state == Chunk::State::kDone || stopping_; });
  if (c.state != Chunk::State::kDone) return ERR_CANCELLED;
  *out = std::move(c.packed);
  c.packed = PackedChunk{};
  *unpacked = c.unpacked;
  Release(c.held);
  c.held = 0;
  c.state = Chunk::State::kTaken;
  room_.notify_all();
  return c.result;
}

std::unique_ptr<PackedChunkSource> EncodeAhead::Claim(const std::string& path, uint32_t method, uint64_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t k = next_claim_;
  while (k < jobs_.size() && jobs_[k]->file.listed.path != path) ++k;
  if (k == jobs_.size()) return nullptr;  // not ours: the list stays as it is
  for (; next_claim_ < k; ++next_claim_) GiveUp(*jobs_[next_claim_]);
  ++next_claim_;
  Job& j = *jobs_[k];
  struct stat st;
  // The caller has read the file for its CRC by now: a file changed since
  // it was listed is packed by the caller, from what it reads.
  if (j.file.method != method || j.file.size != size || LookAtListedFile(j.file.listed, &st) != 0 ||
      !SameFile(st, j.file)) {
    GiveUp(j);
    return nullptr;
  }
  return std::make_unique<Claimed>(*this, k, j.chunks.size());
}

unsigned DefaultEncodeWorkers() { return std::max(1u, std::thread::hardware_concurrency()); }

bool ListAheadFile(const ListedFile& file, uint32_t method, AheadFile* out) {
  struct stat st;
  if (method < 1 || method > 4 || LookAtListedFile(file, &st) != 0 || !IsListedFile(file, st)) return false;
  *out = {file, method, static_cast<uint64_t>(st.st_size), ModifiedNs(st)};
  // The workers read the file found now, or none.
  out->listed.device = static_cast<uint64_t>(st.st_dev);
  out->listed.inode = static_cast<uint64_t>(st.st_ino);
  return true;
}

ScopedEncodeAhead::ScopedEncodeAhead(Runtime& runtime, std::vector<AheadFile> files)
    : runtime_(runtime), ahead_(std::move(files), DefaultEncodeWorkers(), kEncodeAheadBudget) {
  runtime_.set_encode_ahead(&ahead_);
}

ScopedEncodeAhead::~ScopedEncodeAhead() { runtime_.set_encode_ahead(nullptr); }

}  // namespace arjrt
