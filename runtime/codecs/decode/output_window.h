// Output of the LZ decoders: a flat buffer that is both the match history
// and the staging area for the sink. Decoding runs in spans; between spans
// the decoded bytes go to the sink and the last kArjDictionarySize bytes
// slide to the front, so a match source is always a plain pointer behind
// the write position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "runtime/codecs/codec_io.h"
#include "runtime/codecs/decode/lz_limits.h"

namespace arjrt {

class OutputWindow {
 public:
  // A match copy may write this many bytes past its end.
  static constexpr size_t kOverCopy = 32;

  struct Span {
    uint8_t* stop;  // start no symbol at or past this point
    // No byte may be produced at or past this point. A symbol started
    // before `stop` reaches it only by running past the end of the output.
    uint8_t* hard;
  };

  OutputWindow(ByteSink& sink, uint64_t total_size);
  OutputWindow(const OutputWindow&) = delete;
  OutputWindow& operator=(const OutputWindow&) = delete;

  bool Allocated() const { return buffer_ != nullptr; }
  // Where decoding begins; also the earliest byte a match may copy from.
  uint8_t* Begin() const { return buffer_.get(); }
  bool Finished() const { return left_ == 0; }
  Span NextSpan(uint8_t* position) const;
  // Accounts the bytes decoded since the last call; hands them to the sink
  // when the buffer is full or the output complete, moving `position`
  // back when the history slides.
  [[nodiscard]] ResultCode EndSpan(uint8_t*& position);
  // After a decoding error: hands everything decoded up to `position` to
  // the sink and returns `error`, the failure to report (a sink failing
  // now too changes nothing about it).
  [[nodiscard]] ResultCode FailAt(uint8_t* position, ResultCode error);
  uint64_t Written() const { return written_; }

 private:
  static constexpr size_t kFlushSpan = 128 * 1024;
  static constexpr size_t kFlushPoint = kArjDictionarySize + kFlushSpan;
  static constexpr size_t kCapacity = kFlushPoint + kArjMaxMatch + kOverCopy;

  [[nodiscard]] ResultCode WriteOut(uint8_t* position);

  ByteSink& sink_;
  std::unique_ptr<uint8_t[]> buffer_;
  uint8_t* unflushed_ = nullptr;  // first byte not yet given to the sink
  uint8_t* accounted_ = nullptr;  // bytes before this are counted in left_
  uint64_t left_;                 // bytes still to produce after accounted_
  uint64_t written_ = 0;
};

// Copies a `length`-byte match from `distance` bytes back (1 <= distance,
// 1 <= length; the source lies inside the buffer). May write up to
// OutputWindow::kOverCopy bytes past the end. Returns the new end.
inline uint8_t* CopyMatch(uint8_t* out, size_t distance, size_t length) {
  const uint8_t* from = out - distance;
  uint8_t* const end = out + length;
  if (distance >= 16) {
    // Each 16-byte block reads only bytes that are already final. Most
    // matches are short: the first two blocks go without a test.
    std::memcpy(out, from, 16);
    std::memcpy(out + 16, from + 16, 16);
    out += 32;
    from += 32;
    while (out < end) {
      std::memcpy(out, from, 16);
      out += 16;
      from += 16;
    }
  } else if (distance >= 8) {
    std::memcpy(out, from, 8);
    std::memcpy(out + 8, from + 8, 8);
    out += 16;
    from += 16;
    while (out < end) {
      std::memcpy(out, from, 8);
      out += 8;
      from += 8;
    }
  } else if (distance == 1) {
    std::memset(out, *from, length);
  } else {
    do *out++ = *from++;
    while (out < end);
  }
  return end;
}

}  // namespace arjrt
