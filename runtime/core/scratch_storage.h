// What the temporary I/Os of one runtime share: memory chunks kept from one
// entry to the next (so each extraction does not fault in fresh pages).
// And what one extraction lends them: a file for its content to land in
// directly, and a receiver that takes the bytes as they come, keeping none
// (a test). That is lent on the object the request is made on (the
// archiver, which the plug-in makes its temporary I/O on), for the request
// alone: extractions on two archivers of one runtime never cross.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
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

// The errno of the last write a temporary I/O could not make to its file,
// and whether that file was the spill target: the embedder names the
// cause, which the I/O's result code alone does not carry.
struct WriteFailure {
  int error = 0;  // 0: none
  bool in_target = false;
};

// Where one extraction's bytes go, owned by the embedder for its request.
class Delivery {
 public:
  // `spill_target`: the open file (read and write) a temporary I/O may
  // move its content into instead of an unnamed one, -1 for none; the
  // embedder owns it. `pass`: the receiver the temporary I/O hands its
  // bytes to instead of keeping them, null for none.
  Delivery(int spill_target, PassThrough* pass) : target_(spill_target), pass_(pass) {}

  // The target for one temporary I/O at a time, or -1.
  int ClaimSpillTarget();
  void ReleaseSpillTarget() { target_claimed_ = false; }
  // For one temporary I/O at a time, or null.
  PassThrough* ClaimPassThrough();
  void ReleasePassThrough() { pass_claimed_ = false; }

  void NoteWriteFailure(int error, bool in_target) { failure_ = {error, in_target}; }
  const WriteFailure& write_failure() const { return failure_; }

 private:
  int target_;
  bool target_claimed_ = false;
  PassThrough* pass_;
  bool pass_claimed_ = false;
  WriteFailure failure_;
};

class ScratchStorage {
 public:
  static constexpr size_t kChunkBytes = size_t{1} << 20;

  // A chunk of kChunkBytes, not zeroed; null when memory is short.
  std::unique_ptr<uint8_t[]> TakeChunk();
  // Keeps the chunk for the next TakeChunk, up to a bounded count.
  void GiveChunk(std::unique_ptr<uint8_t[]> chunk);

  // Lends `delivery` to the temporary I/Os made on `object` until TakeBack.
  void Lend(const void* object, Delivery* delivery);
  void TakeBack(const void* object);
  // What is lent on `object`, or null.
  Delivery* LentOn(const void* object) const;

 private:
  static constexpr size_t kKeptChunks = 16;

  std::vector<std::unique_ptr<uint8_t[]>> free_;
  // A few at most: one for each archiver extracting at the moment.
  std::vector<std::pair<const void*, Delivery*>> lent_;
};

}  // namespace arjrt
