#include "runtime/codecs/parallel/encode_ahead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "runtime/api/pending_files.h"
#include "runtime/core/runtime.h"

namespace arjrt {

struct EncodeAhead::Chunk {
  enum class State { kWaiting, kRunning, kDone, kTaken };
  State state = State::kWaiting;
  size_t held = 0;  // bytes counted against the budget
  PackedChunk packed;
  uint64_t unpacked = 0;
  ResultCode result = RESULT_OK;
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

bool SameFile(const struct stat& st, const AheadFile& f) {
  return static_cast<uint64_t>(st.st_size) == f.size && ModifiedNs(st) == f.modified_ns;
}

size_t ChunkHistory(size_t chunk) { return chunk == 0 ? 0 : kChunkHistory; }

size_t ChunkLength(const AheadFile& f, size_t chunk) {
  return static_cast<size_t>(std::min<uint64_t>(kChunkBytes, f.size - uint64_t{chunk} * kChunkBytes));
}

// Input and history while under way, and room for the packed bytes.
size_t Reservation(size_t history, size_t length) { return history + 2 * length + length / 8 + 4096; }

// Reads the chunk with its history; a file that changed since it was
// listed is refused, as its CRC, taken elsewhere, would not match.
[[nodiscard]] ResultCode ReadChunk(const AheadFile& f, size_t chunk, std::vector<uint8_t>& input) {
  const size_t history = ChunkHistory(chunk);
  const size_t length = ChunkLength(f, chunk);
  input.resize(history + length);
  const int fd = ::open(f.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ERR_NOT_FOUND;
  uint64_t offset = uint64_t{chunk} * kChunkBytes - history;
  size_t got = 0;
  ResultCode r = RESULT_OK;
  while (got < input.size()) {
    const ssize_t n = ::pread(fd, input.data() + got, input.size() - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      r = n < 0 ? ERR_IO : ERR_CORRUPTED;
      break;
    }
    got += static_cast<size_t>(n);
  }
  struct stat st;
  if (!Failed(r) && (::fstat(fd, &st) != 0 || !SameFile(st, f))) r = ERR_CORRUPTED;
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
  for (size_t i = 0; i < count; ++i) workers_.push_back(arjhost::StartWorkerThread([this] { Work(); }));
}

EncodeAhead::~EncodeAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  room_.notify_all();
  ready_.notify_all();
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

// Without the lock: a job's file never changes once listed.
void EncodeAhead::PackChunk(size_t job, size_t chunk, std::vector<uint8_t>& input) {
  const AheadFile& f = jobs_[job]->file;
  PackedChunk packed;
  ResultCode r = ReadChunk(f, chunk, input);
  const size_t history = ChunkHistory(chunk);
  if (!Failed(r)) r = EncodeChunk(f.method, input.data(), history, input.size(), &packed);
  std::lock_guard<std::mutex> lock(mutex_);
  Job& j = *jobs_[job];
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

// Under the lock.
void EncodeAhead::GiveUp(Job& job) {
  job.given_up = true;
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
  while (k < jobs_.size() && jobs_[k]->file.path != path) ++k;
  if (k == jobs_.size()) return nullptr;  // not ours: the list stays as it is
  for (; next_claim_ < k; ++next_claim_) GiveUp(*jobs_[next_claim_]);
  ++next_claim_;
  Job& j = *jobs_[k];
  struct stat st;
  // The caller has read the file for its CRC by now: it must be the file we read.
  if (j.file.method != method || j.file.size != size || ::stat(path.c_str(), &st) != 0 || !SameFile(st, j.file)) {
    GiveUp(j);
    return nullptr;
  }
  return std::make_unique<Claimed>(*this, k, j.chunks.size());
}

unsigned DefaultEncodeWorkers() { return std::max(1u, std::thread::hardware_concurrency()); }

bool ListAheadFile(const std::string& path, uint32_t method, AheadFile* out) {
  struct stat st;
  if (method < 1 || method > 4 || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  *out = {path, method, static_cast<uint64_t>(st.st_size), ModifiedNs(st)};
  return true;
}

ScopedEncodeAhead::ScopedEncodeAhead(Runtime& runtime, std::vector<AheadFile> files)
    : runtime_(runtime), ahead_(std::move(files), DefaultEncodeWorkers(), kEncodeAheadBudget) {
  runtime_.set_encode_ahead(&ahead_);
}

ScopedEncodeAhead::~ScopedEncodeAhead() { runtime_.set_encode_ahead(nullptr); }

}  // namespace arjrt
