#include "runtime/core/scratch_storage.h"

#include <new>

namespace arjrt {

std::unique_ptr<uint8_t[]> ScratchStorage::TakeChunk() {
  if (!free_.empty()) {
    std::unique_ptr<uint8_t[]> chunk = std::move(free_.back());
    free_.pop_back();
    return chunk;
  }
  return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[kChunkBytes]);
}

void ScratchStorage::GiveChunk(std::unique_ptr<uint8_t[]> chunk) {
  if (chunk == nullptr || free_.size() >= kKeptChunks) return;
  try {
    free_.push_back(std::move(chunk));
  } catch (const std::bad_alloc&) {
    // Not kept: the chunk is freed on return.
  }
}

int ScratchStorage::ClaimSpillTarget() {
  if (target_ < 0 || claimed_) return -1;
  claimed_ = true;
  return target_;
}

PassThrough* ScratchStorage::ClaimPassThrough() {
  if (pass_ == nullptr || pass_claimed_) return nullptr;
  pass_claimed_ = true;
  pass_->Begin();
  return pass_;
}

}  // namespace arjrt
