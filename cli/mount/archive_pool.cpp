#include "cli/mount/archive_pool.h"

#include <utility>

namespace cli {

ArchivePool::ArchivePool(arjhost::Archive& first, Opener more, size_t most)
    : more_(std::move(more)), most_(most < 1 ? 1 : most) {
  auto slot = std::make_unique<Slot>();
  slot->archive = &first;
  slots_.push_back(std::move(slot));
}

ArchivePool::Lease ArchivePool::Take() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    for (size_t i = 0; i < slots_.size(); ++i)
      if (!slots_[i]->busy) {
        slots_[i]->busy = true;
        return Lease(*this, i);
      }
    if (!opening_ && slots_.size() < most_ && more_) {
      opening_ = true;
      // Opened without the lock: reading a large archive's headers takes a while.
      const size_t index = slots_.size();
      slots_.push_back(std::make_unique<Slot>());
      slots_[index]->busy = true;
      lock.unlock();
      ArchiveOpening opening = more_();
      lock.lock();
      opening_ = false;
      freed_.notify_all();
      if (opening.archive) {
        slots_[index]->archive = opening.archive.get();
        slots_[index]->owned = std::move(opening);
        return Lease(*this, index);
      }
      // None to be had: the openings there are must do.
      slots_.pop_back();
      most_ = slots_.size();
      continue;
    }
    freed_.wait(lock);
  }
}

ArchivePool::Lease::~Lease() {
  std::lock_guard<std::mutex> lock(pool_->mutex_);
  pool_->slots_[slot_]->busy = false;
  pool_->freed_.notify_all();
}

arjhost::Archive& ArchivePool::Lease::archive() const {
  std::lock_guard<std::mutex> lock(pool_->mutex_);
  return *pool_->slots_[slot_]->archive;
}

}  // namespace cli
