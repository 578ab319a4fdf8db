#include "runtime/core/scratch_storage.h"

#include <unistd.h>

#include <new>

namespace arjrt {

uint64_t ScratchStorage::DefaultMemoryLimit() {
  constexpr uint64_t kSmall = uint64_t{8} << 20;
  constexpr uint64_t kLarge = uint64_t{32} << 20;
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long page_size = ::sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return kSmall;
  const uint64_t physical = static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size);
  return physical >= (uint64_t{8} << 30) ? kLarge : kSmall;
}

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

}  // namespace arjrt
