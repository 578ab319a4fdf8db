// Memory-backed ByteSource / ByteSink for the encoder's tests, fuzzer and
// benchmark.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "runtime/codecs/codec_io.h"

namespace arjtest {

// Serves `data` in reads of at most `max_chunk` bytes, so callers meet
// short reads.
class MemorySource : public arjrt::ByteSource {
 public:
  explicit MemorySource(const std::vector<uint8_t>& data, size_t max_chunk = SIZE_MAX)
      : data_(data.data()), size_(data.size()), max_chunk_(max_chunk) {}
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size), max_chunk_(SIZE_MAX) {}

  int64_t Read(uint8_t* buffer, size_t size) override {
    const size_t n = std::min({size, size_ - pos_, max_chunk_});
    if (n != 0) std::memcpy(buffer, data_ + pos_, n);
    pos_ += n;
    return static_cast<int64_t>(n);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t max_chunk_;
  size_t pos_ = 0;
};

class MemorySink : public arjrt::ByteSink {
 public:
  ResultCode Write(const uint8_t* data, size_t size) override {
    bytes.insert(bytes.end(), data, data + size);
    return RESULT_OK;
  }
  std::vector<uint8_t> bytes;
};

}  // namespace arjtest
