#include "runtime/bindings/c/entry_stream.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "runtime/api/pending_files.h"

namespace arjhost::capi {
namespace {

// Below this an entry decodes in less time than a thread takes to start.
constexpr uint64_t kAtOnceUpTo = uint64_t{1} << 20;

}  // namespace

EntryStream::EntryStream(Archive& archive, const EntryInfo& entry, PasswordSource passwords)
    : archive_(archive), entry_(entry), passwords_(std::move(passwords)) {
  if (entry.size <= kAtOnceUpTo) {
    held_.reserve(static_cast<size_t>(entry.size));
    result_ = archive_.Stream(entry_, [this](const uint8_t* data, size_t size) {
      held_.insert(held_.end(), data, data + size);
      return true;
    }, passwords_);
    finished_ = true;
    return;
  }
  thread_ = StartWorkerThread([this] {
    ExtractResult result =
        archive_.Stream(entry_, [this](const uint8_t* data, size_t size) { return Offer(data, size); }, passwords_);
    std::lock_guard<std::mutex> lock(mutex_);
    result_ = std::move(result);
    finished_ = true;
    changed_.notify_all();
  });
}

EntryStream::~EntryStream() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool EntryStream::Offer(const uint8_t* data, size_t size) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (stopping_) return false;
  chunk_ = data;
  left_ = size;
  changed_.notify_all();
  // The chunk is the decoder's own buffer: it stays valid until taken.
  changed_.wait(lock, [this] { return left_ == 0 || stopping_; });
  chunk_ = nullptr;
  left_ = 0;
  return !stopping_;
}

ptrdiff_t EntryStream::ReadHeld(void* buffer, size_t size) {
  const size_t n = std::min(size, held_.size() - static_cast<size_t>(taken_));
  if (n != 0) std::memcpy(buffer, held_.data() + taken_, n);
  taken_ += n;
  // The verdict is known already; it comes with the last bytes all the same.
  if (taken_ < held_.size()) return static_cast<ptrdiff_t>(n);
  return result_.ok() ? static_cast<ptrdiff_t>(n) : -1;
}

ptrdiff_t EntryStream::Read(void* buffer, size_t size) {
  if (!thread_.joinable()) return ReadHeld(buffer, size);
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return left_ != 0 || finished_; });
  size_t n = 0;
  if (left_ != 0) {
    n = std::min(size, left_);
    std::memcpy(buffer, chunk_, n);
    chunk_ += n;
    left_ -= n;
    taken_ += n;
    if (left_ == 0) changed_.notify_all();
    // No caller takes the last bytes for sound ones before the check.
    if (taken_ < entry_.size) return static_cast<ptrdiff_t>(n);
    // (Bytes past the size, which decoders never write, would come before
    // the verdict, and fail it.)
    changed_.wait(lock, [this] { return finished_ || left_ != 0; });
    if (!finished_) return static_cast<ptrdiff_t>(n);
  }
  return result_.ok() ? static_cast<ptrdiff_t>(n) : -1;
}

}  // namespace arjhost::capi
