// In-memory ByteSource / ByteSink for the decoder tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/codecs/codec_io.h"

namespace arjrt::test {

// Serves `data`, at most `max_read` bytes per call, so chunk boundaries
// land at awkward places.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(const std::vector<uint8_t>& data, size_t max_read = SIZE_MAX)
      : data_(data), max_read_(max_read) {}
  int64_t Read(uint8_t* buffer, size_t size) override {
    const size_t n = std::min({size, max_read_, data_.size() - offset_});
    if (n != 0) std::memcpy(buffer, data_.data() + offset_, n);
    offset_ += n;
    return static_cast<int64_t>(n);
  }
  size_t Consumed() const { return offset_; }

 private:
  const std::vector<uint8_t>& data_;
  size_t max_read_;
  size_t offset_ = 0;
};

// A source that fails with `error` after delivering `good` bytes of `data`.
class FailingSource : public ByteSource {
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
class VectorSink : public ByteSink {
 public:
  explicit VectorSink(size_t capacity = SIZE_MAX, ResultCode error = ERR_IO)
      : capacity_(capacity), error_(error) {}
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
class CountingSink : public ByteSink {
 public:
  ResultCode Write(const uint8_t*, size_t size) override {
    count += size;
    return RESULT_OK;
  }
  uint64_t count = 0;
};

}  // namespace arjrt::test
