// Inputs are packed in chunks that can be encoded apart, on several threads,
// and joined into one stream: a chunk's matches may reach back into the
// bytes before it, and its blocks end with it. One thread or many, the
// chunks and so the packed bytes are the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/codecs/codec_io.h"
#include "runtime/codecs/encode/lzh_constants.h"

namespace arjrt {

constexpr size_t kChunkBytes = size_t{1} << 20;
// The farthest any method's match reaches back.
constexpr size_t kChunkHistory = lzh::kMaxDistance;

struct PackedChunk {
  std::vector<uint8_t> bytes;  // a last byte that is not whole holds its bits high first
  uint64_t bits = 0;
  uint32_t crc = 0;  // of the input bytes it packs
};

// Encodes data[history, size) with method 1..4 into *out, with their CRC;
// data[0, history) is what came before the chunk. Returns 0 or
// ERR_UNSUPPORTED.
[[nodiscard]] ResultCode EncodeChunk(uint32_t method, const uint8_t* data, size_t history, size_t size, PackedChunk* out);

// The packed chunks of one input, in order.
class PackedChunkSource {
 public:
  virtual ~PackedChunkSource() = default;
  // The next chunk and the input bytes it packs; *unpacked is 0 at the end.
  // Returns 0 or the error that stopped the input or its encoding.
  [[nodiscard]] virtual ResultCode Next(PackedChunk* chunk, uint64_t* unpacked) = 0;
};

// Reads the chunks from `in` and encodes them on the calling thread.
class InlineChunks : public PackedChunkSource {
 public:
  InlineChunks(uint32_t method, ByteSource& in);
  [[nodiscard]] ResultCode Next(PackedChunk* chunk, uint64_t* unpacked) override;

 private:
  uint32_t method_;
  ByteSource& in_;
  std::vector<uint8_t> buffer_;  // history, then the chunk
  size_t history_ = 0;
};

// Reads up to `size` bytes into `buffer`, fewer only at the end of the
// input: chunk bounds must not depend on how a source splits its reads.
// Returns the count or the source's error.
int64_t ReadFull(ByteSource& in, uint8_t* buffer, size_t size);

}  // namespace arjrt
