// Writes packed chunks one after another as one bit stream: a chunk that
// ends inside a byte is continued by the next chunk's first bits.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/codecs/codec_io.h"
#include "runtime/codecs/encode/packed_chunks.h"

namespace arjrt {

class BitJoiner {
 public:
  explicit BitJoiner(ByteSink& out) : out_(out) {}

  // Returns 0 or the sink's error.
  [[nodiscard]] ResultCode Append(const PackedChunk& chunk);
  // Pads the last byte with zero bits and writes it.
  ResultCode Finish();
  uint64_t bytes_written() const { return written_; }

 private:
  ResultCode Write(const uint8_t* data, size_t size);

  ByteSink& out_;
  std::vector<uint8_t> shifted_;
  uint8_t partial_ = 0;        // high bits pending
  uint32_t partial_bits_ = 0;  // 0..7
  uint64_t written_ = 0;
};

}  // namespace arjrt
