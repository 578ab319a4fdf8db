// Chunked input for the bit readers: holds up to one chunk of packed bytes
// and, once the source is exhausted, a short run of zero bytes after them
// so the readers can pre-fetch a whole word past the last real byte.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/codecs/codec_io.h"

namespace arjrt {

class InputBuffer {
 public:
  // A reader may load 8 bytes at any position up to Limit().
  static constexpr size_t kLoadWidth = 8;

  explicit InputBuffer(ByteSource& source) : source_(source) {}
  InputBuffer(const InputBuffer&) = delete;
  InputBuffer& operator=(const InputBuffer&) = delete;

  const uint8_t* Data() const { return data_; }
  const uint8_t* Limit() const { return limit_; }

  // Called when a reader at `position` has passed Limit(). Keeps the unread
  // bytes, reads more, and returns where `position` now is in Data(); on
  // failure returns nullptr and Status() tells why (ERR_END_OF_DATA once
  // the reader is well past the end of the input).
  const uint8_t* Reload(const uint8_t* position);

  [[nodiscard]] ResultCode Status() const { return status_; }

  // Once the output is complete, with `first_unused` the first byte the
  // reader took no bit from: RESULT_OK when at most kToleratedUnused
  // packed bytes follow it, else ERR_CORRUPTED with Unused() the count of
  // them (the source is read to its end to count them). arj accepts as
  // many unused bytes as its reader fetches ahead, two whatever the bit
  // position, and fails the entry on more. A reader that ran into the
  // zero padding left no unused bytes. A failing source fails this too.
  [[nodiscard]] ResultCode CheckEnd(const uint8_t* first_unused);
  uint64_t Unused() const { return unused_; }

  static constexpr uint64_t kToleratedUnused = 2;

 private:
  static constexpr size_t kChunk = 64 * 1024;
  // Bytes a reader may run past the real end (as zero bits) before the
  // input counts as too short. Chosen so that consuming more than 8 bytes
  // beyond the end always fails, while the reader's own look-ahead never does.
  static constexpr size_t kOverrun = 12;
  static constexpr size_t kPad = kOverrun + kLoadWidth + 8;

  ByteSource& source_;
  uint8_t data_[kChunk + kPad] = {};
  const uint8_t* end_ = data_;    // end of the real bytes
  const uint8_t* limit_ = data_;  // Data() itself forces a Reload at once
  bool exhausted_ = false;
  uint64_t unused_ = 0;
  ResultCode status_ = RESULT_OK;
};

}  // namespace arjrt
