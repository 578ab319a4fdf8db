// Packs the files a rebuild will ask for ahead of it, on worker threads:
// every file in chunks (packed_chunks.h), the chunks taken in the order the
// rebuild writes them, so that the one it waits for is always the first
// under way. Packed chunks wait in memory until claimed; the bytes held and
// under way stay within a budget, and workers wait for room.
//
// Every byte of a file is read once: a chunk's history (the bytes before it
// that its matches reach back into) is handed over by the worker that read
// them, so that the packed stream and the CRC of its chunks cover the same
// bytes even when the file changes under the workers. Files are opened as
// listed (listed_file.h).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runtime/codecs/encode/packed_chunks.h"
#include "runtime/services/listed_file.h"

namespace arjrt {

struct AheadFile {
  ListedFile listed;
  uint32_t method = 1;  // 1..4
  uint64_t size = 0;    // as the file stood when listed
  int64_t modified_ns = 0;
};

// Bytes the packed chunks may hold at once: with the workers' own buffers
// and the rest of a rebuild, well within 64 MiB.
constexpr size_t kEncodeAheadBudget = size_t{24} << 20;

class EncodeAhead {
 public:
  // workers >= 1; budget: bytes held by chunks under way or waiting.
  EncodeAhead(std::vector<AheadFile> files, unsigned workers, size_t budget);
  ~EncodeAhead();  // stops and joins the workers
  EncodeAhead(const EncodeAhead&) = delete;
  EncodeAhead& operator=(const EncodeAhead&) = delete;

  // The chunks of the first file not yet claimed, when it is `path`, packed
  // with `method`, of `size` bytes; else null (the caller packs it itself).
  // Files listed before it that were never claimed are given up, and so is
  // the first when it does not fit the request.
  std::unique_ptr<PackedChunkSource> Claim(const std::string& path, uint32_t method, uint64_t size);

  // The most bytes held at once so far, for the tests.
  size_t peak_held() const;

 private:
  struct Chunk;
  struct Job;
  class Claimed;

  void Work();
  bool PickChunk(size_t* job, size_t* chunk);
  void PackChunk(size_t job, size_t chunk, std::vector<uint8_t>& input);
  [[nodiscard]] ResultCode TakeHistory(Job& job, size_t chunk, std::vector<uint8_t>& input,
                                       std::unique_lock<std::mutex>& lock);
  void GiveUp(Job& job);
  void Release(size_t bytes);
  [[nodiscard]] ResultCode Take(size_t job, size_t chunk, PackedChunk* out, uint64_t* unpacked);

  mutable std::mutex mutex_;
  std::condition_variable room_;   // workers wait for budget
  std::condition_variable ready_;  // the claimant waits for its chunk
  std::condition_variable tails_;  // workers wait for their chunk's history
  std::vector<std::unique_ptr<Job>> jobs_;
  size_t next_job_ = 0;    // the first job with chunks not yet started
  size_t next_claim_ = 0;  // the first job not yet claimed or given up
  size_t budget_;
  size_t held_ = 0;
  size_t peak_held_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

// Workers for this machine: one a core.
unsigned DefaultEncodeWorkers();

// What a rebuild hands to the workers: each file as it stands now (false
// when it cannot be looked at, or is not the one listed: the rebuild then
// packs it itself).
bool ListAheadFile(const ListedFile& file, uint32_t method, AheadFile* out);

class Runtime;

// Packs `files` ahead for the encoders of `runtime` while it lives.
class ScopedEncodeAhead {
 public:
  ScopedEncodeAhead(Runtime& runtime, std::vector<AheadFile> files);
  ~ScopedEncodeAhead();
  ScopedEncodeAhead(const ScopedEncodeAhead&) = delete;
  ScopedEncodeAhead& operator=(const ScopedEncodeAhead&) = delete;

 private:
  Runtime& runtime_;
  EncodeAhead ahead_;
};

}  // namespace arjrt
