// Working arrays recycled within a thread. The encoders are made afresh for
// every chunk, and each small file would otherwise pay for faulting in and
// clearing the megabytes of tables and buffers it barely uses. An array
// comes back holding whatever its last user left: its owner clears what it
// reads before writing.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace arjrt {

template <class T>
class ScratchArray {
 public:
  explicit ScratchArray(size_t size) : size_(size) {
    std::vector<std::unique_ptr<T[]>>& spares = Spares(size);
    if (spares.empty()) {
      data_.reset(new T[size]());  // cleared once, so that no read meets an indeterminate value
    } else {
      data_ = std::move(spares.back());
      spares.pop_back();
    }
  }
  ~ScratchArray() {
    std::vector<std::unique_ptr<T[]>>& spares = Spares(size_);
    // A few of each size: as many as one thread's encoders hold at once.
    if (data_ != nullptr && spares.size() < kSparesKept) spares.push_back(std::move(data_));
  }
  ScratchArray(const ScratchArray&) = delete;
  ScratchArray& operator=(const ScratchArray&) = delete;

  T* data() { return data_.get(); }
  const T* data() const { return data_.get(); }
  size_t size() const { return size_; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }

 private:
  static constexpr size_t kSparesKept = 4;

  // This thread's spare arrays of `size` elements.
  static std::vector<std::unique_ptr<T[]>>& Spares(size_t size) {
    thread_local std::vector<std::pair<size_t, std::vector<std::unique_ptr<T[]>>>> by_size;
    for (auto& [n, list] : by_size)
      if (n == size) return list;
    by_size.emplace_back(size, std::vector<std::unique_ptr<T[]>>{});
    return by_size.back().second;
  }

  size_t size_;
  std::unique_ptr<T[]> data_;
};

}  // namespace arjrt
