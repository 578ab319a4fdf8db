#include "runtime/core/scratch_storage.h"

#include <cstddef>
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

int Delivery::ClaimSpillTarget() {
  if (target_ < 0 || target_claimed_) return -1;
  target_claimed_ = true;
  return target_;
}

PassThrough* Delivery::ClaimPassThrough() {
  if (pass_ == nullptr || pass_claimed_) return nullptr;
  pass_claimed_ = true;
  pass_->Begin();
  return pass_;
}

void ScratchStorage::Lend(const void* object, Delivery* delivery) {
  TakeBack(object);
  lent_.emplace_back(object, delivery);
}

void ScratchStorage::TakeBack(const void* object) {
  for (size_t i = 0; i < lent_.size(); ++i)
    if (lent_[i].first == object) {
      lent_.erase(lent_.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
}

Delivery* ScratchStorage::LentOn(const void* object) const {
  for (const auto& [on, delivery] : lent_)
    if (on == object) return delivery;
  return nullptr;
}

}  // namespace arjrt
