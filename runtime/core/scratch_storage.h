// What the temporary I/Os of one runtime share: memory chunks kept from one
// entry to the next (so each extraction does not fault in fresh pages), a
// file the embedder names for the next spill to land in directly, and a
// receiver that takes the bytes as they come, keeping none (a test).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace arjrt {

// Takes an entry's bytes in order as they are written. Begin starts over:
// a fresh temporary I/O (another password's attempt) writes from 0 again.
// Take returns false when the receiver wants no more: the write then
// fails, and the decoding stops.
class PassThrough {
 public:
  virtual ~PassThrough() = default;
  virtual void Begin() = 0;
  [[nodiscard]] virtual bool Take(const uint8_t* data, size_t size) = 0;
};

class ScratchStorage {
 public:
  static constexpr size_t kChunkBytes = size_t{1} << 20;

  // A chunk of kChunkBytes, not zeroed; null when memory is short.
  std::unique_ptr<uint8_t[]> TakeChunk();
  // Keeps the chunk for the next TakeChunk, up to a bounded count.
  void GiveChunk(std::unique_ptr<uint8_t[]> chunk);

  // The open file (read and write) that a temporary I/O may move its content
  // into instead of an unnamed one; -1 for none. The embedder owns the
  // descriptor and clears it before closing it.
  void SetSpillTarget(int fd) { target_ = fd; }
  // The target for one temporary I/O at a time, or -1.
  int ClaimSpillTarget();
  void ReleaseSpillTarget() { claimed_ = false; }
  int spill_target() const { return target_; }

  // The receiver the next temporary I/O hands its bytes to instead of
  // keeping them; null for none. The embedder clears it after the entry.
  void SetPassThrough(PassThrough* receiver) { pass_ = receiver; }
  // For one temporary I/O at a time, or null.
  PassThrough* ClaimPassThrough();
  void ReleasePassThrough() { pass_claimed_ = false; }

  // The errno of the last write a temporary I/O could not make to its file,
  // and whether that file was the spill target: the embedder names the
  // cause, which the I/O's result code alone does not carry.
  struct WriteFailure {
    int error = 0;  // 0: none since the last clear
    bool in_target = false;
  };
  void NoteWriteFailure(int error, bool in_target) { failure_ = {error, in_target}; }
  void ClearWriteFailure() { failure_ = {}; }
  const WriteFailure& write_failure() const { return failure_; }

 private:
  static constexpr size_t kKeptChunks = 16;

  std::vector<std::unique_ptr<uint8_t[]>> free_;
  int target_ = -1;
  bool claimed_ = false;
  PassThrough* pass_ = nullptr;
  bool pass_claimed_ = false;
  WriteFailure failure_;
};

}  // namespace arjrt
