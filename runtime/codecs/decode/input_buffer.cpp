#include "runtime/codecs/decode/input_buffer.h"

#include <cstring>

#include "runtime/codecs/decode/source_reads.h"

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
    const int64_t got = ReadChecked(source_, data_ + filled, kChunk - filled);
    if (got < 0) {
      status_ = static_cast<ResultCode>(got);
      return nullptr;
    }
    if (got == 0) {
      exhausted_ = true;
      break;
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

ResultCode InputBuffer::CheckEnd(const uint8_t* first_unused) {
  if (status_ != RESULT_OK) return status_;
  uint64_t count = first_unused < end_ ? static_cast<uint64_t>(end_ - first_unused) : 0;
  // Decoding is over, so the chunk may be overwritten. A sound stream has
  // nothing left in the source.
  if (!exhausted_) {
    exhausted_ = true;
    const ResultCode r = CountRestOfSource(source_, data_, kChunk, &count);
    if (r < 0) return status_ = r;
  }
  if (count <= kToleratedUnused) return RESULT_OK;
  unused_ = count;
  return ERR_CORRUPTED;
}

}  // namespace arjrt
