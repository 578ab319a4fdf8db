#include "runtime/api/internal/checked_output.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "plugin/format/crc32.h"
#include "runtime/services/fd_transfer.h"
#include "runtime/services/pending_files.h"

namespace arjhost {
namespace {

constexpr size_t kBufferBytes = size_t{1} << 20;
// Buffers between the decoding and the thread: enough to ride out the
// unevenness of either side.
constexpr size_t kMaxBuffers = 4;

std::string Hex(uint32_t v) {
  char text[12];
  std::snprintf(text, sizeof text, "%08x", v);
  return text;
}

}  // namespace

void PartCheck::Add(const uint8_t* data, size_t size) {
  for (size_t at = 0; (at < size || left_ == 0) && part_ < parts_.size();) {
    const auto n = static_cast<size_t>(std::min<uint64_t>(left_, size - at));
    if (n != 0) crc_ = arjhost::format::Crc32Update(n, data + at, crc_);
    at += n;
    left_ -= n;
    while (left_ == 0 && part_ < parts_.size()) {
      if (crc_ != parts_[part_].crc && error_.empty())
        error_ = "CRC mismatch (stored " + Hex(parts_[part_].crc) + ", computed " + Hex(crc_) + ")";
      crc_ = 0;
      if (++part_ < parts_.size()) left_ = parts_[part_].size;
    }
  }
}

void PartCheck::Restart() {
  part_ = 0;
  left_ = parts_.empty() ? 0 : parts_[0].size;
  crc_ = 0;
  error_.clear();
}

const std::string& PartCheck::Finish() {
  if (parts_.empty() && error_.empty()) error_ = "its parts could not be matched to the headers, so no CRC-32 was checked";
  Add(nullptr, 0);
  if (part_ < parts_.size() && error_.empty()) error_ = "size mismatch (the parts hold more than was extracted)";
  return error_;
}

CheckAsTheyCome::CheckAsTheyCome(PartCheck& check, int fd, const ChunkSink* sink, bool beside)
    : check_(check), fd_(fd), sink_(sink) {
  if (beside) thread_ = arjrt::StartWorkerThread([this] { Work(); });
}

CheckAsTheyCome::~CheckAsTheyCome() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void CheckAsTheyCome::Consume(const uint8_t* data, size_t size, uint64_t offset) {
  check_.Add(data, size);
  uint32_t done = 0;
  if (fd_ >= 0 && write_error_ == 0) write_error_ = arjrt::WriteFullyAt(fd_, offset, data, static_cast<uint32_t>(size), &done);
  if (sink_ != nullptr && !sink_stopped_ && !(*sink_)(data, size)) sink_stopped_ = true;
}

void CheckAsTheyCome::Begin() {
  Settle();
  check_.Restart();
  size_ = 0;
  write_error_ = 0;
}

bool CheckAsTheyCome::Take(const uint8_t* data, size_t size) {
  if (sink_stopped_) return false;
  if (!thread_.joinable()) {
    Consume(data, size, size_);
    size_ += size;
    return !sink_stopped_;
  }
  while (size != 0) {
    if (filling_.bytes.empty()) {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return !spare_.empty() || buffers_ < kMaxBuffers; });
      if (!spare_.empty()) {
        filling_ = std::move(spare_.back());
        spare_.pop_back();
      } else {
        filling_.bytes.resize(kBufferBytes);
        ++buffers_;
      }
      filling_.used = 0;
      filling_.offset = size_;
    }
    const size_t n = std::min(size, filling_.bytes.size() - filling_.used);
    std::memcpy(filling_.bytes.data() + filling_.used, data, n);
    filling_.used += n;
    size_ += n;
    data += n;
    size -= n;
    if (filling_.used == filling_.bytes.size()) HandOver();
  }
  return true;
}

void CheckAsTheyCome::HandOver() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    full_.push_back(std::move(filling_));
  }
  filling_ = Buffer{};
  changed_.notify_all();
}

void CheckAsTheyCome::Settle() {
  if (!thread_.joinable()) return;
  if (filling_.used != 0) HandOver();
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return full_.empty() && !busy_; });
}

void CheckAsTheyCome::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return !full_.empty() || stopping_; });
    if (full_.empty()) return;
    Buffer b = std::move(full_.front());
    full_.pop_front();
    busy_ = true;
    lock.unlock();
    Consume(b.bytes.data(), b.used, b.offset);
    lock.lock();
    busy_ = false;
    spare_.push_back(std::move(b));
    changed_.notify_all();
  }
}

}  // namespace arjhost
