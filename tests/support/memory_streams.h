// In-memory ByteSource and ByteSink for the codec tests, fuzzers and
// benchmarks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/codecs/codec_io.h"

namespace testing_support {

// Serves `size` bytes at `data`, at most `max_read` a call, so that callers
// meet short reads and chunk boundaries at awkward places.
class MemorySource : public arjrt::ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size, size_t max_read = SIZE_MAX)
      : data_(data), size_(size), max_read_(max_read) {}
  explicit MemorySource(const std::vector<uint8_t>& data, size_t max_read = SIZE_MAX)
      : MemorySource(data.data(), data.size(), max_read) {}

  int64_t Read(uint8_t* buffer, size_t size) override {
    const size_t n = std::min({size, max_read_, size_ - offset_});
    if (n != 0) std::memcpy(buffer, data_ + offset_, n);
    offset_ += n;
    return static_cast<int64_t>(n);
  }
  size_t Consumed() const { return offset_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t max_read_;
  size_t offset_ = 0;
};

// A source that fails with `error` after delivering `good` bytes of `data`.
class FailingSource : public arjrt::ByteSource {
 public:
  FailingSource(const std::vector<uint8_t>& data, size_t good, ResultCode error)
      : data_(data), good_(std::min(good, data.size())), error_(error) {}
  int64_t Read(uint8_t* buffer, size_t size) override {
    if (offset_ == good_) return error_;
    const size_t n = std::min(size, good_ - offset_);
    std::memcpy(buffer, data_.data() + offset_, n);
    offset_ += n;
    return static_cast<int64_t>(n);
  }

 private:
  const std::vector<uint8_t>& data_;
  size_t good_;
  ResultCode error_;
  size_t offset_ = 0;
};

// Collects output; refuses with `error` once `capacity` bytes were taken.
class MemorySink : public arjrt::ByteSink {
 public:
  explicit MemorySink(size_t capacity = SIZE_MAX, ResultCode error = ERR_IO) : capacity_(capacity), error_(error) {}
  ResultCode Write(const uint8_t* data, size_t size) override {
    if (size > capacity_ - bytes.size()) return error_;
    bytes.insert(bytes.end(), data, data + size);
    return RESULT_OK;
  }
  std::vector<uint8_t> bytes;

 private:
  size_t capacity_;
  ResultCode error_;
};

// Counts output without keeping it, for huge sizes.
class CountingSink : public arjrt::ByteSink {
 public:
  ResultCode Write(const uint8_t*, size_t size) override {
    count += size;
    return RESULT_OK;
  }
  uint64_t count = 0;
};

}  // namespace testing_support
