#include "runtime/codecs/decode/input_buffer.h"

#include <cstring>

namespace arjrt {

const uint8_t* InputBuffer::Reload(const uint8_t* position) {
  if (status_ != RESULT_OK) return nullptr;
  if (exhausted_ || position > end_) {
    // Only zero padding is left: the reader has consumed far past the end.
    status_ = ERR_END_OF_DATA;
    return nullptr;
  }
  const size_t kept = static_cast<size_t>(end_ - position);
  std::memmove(data_, position, kept);
  size_t filled = kept;
  while (filled < kChunk) {
    const int64_t got = source_.Read(data_ + filled, kChunk - filled);
    if (got < 0) {
      status_ = static_cast<ResultCode>(got);
      return nullptr;
    }
    if (got == 0) {
      exhausted_ = true;
      break;
    }
    if (static_cast<uint64_t>(got) > kChunk - filled) {
      status_ = ERR_BAD_PARAMETER;  // the source broke its contract
      return nullptr;
    }
    filled += static_cast<size_t>(got);
    // Enough for a good while; avoid waiting on a slow source for a full chunk.
    if (filled >= kChunk / 2) break;
  }
  end_ = data_ + filled;
  if (exhausted_) {
    std::memset(data_ + filled, 0, kPad);
    limit_ = end_ + kOverrun;
  } else {
    limit_ = end_ - kLoadWidth;
  }
  return data_;
}

}  // namespace arjrt
