#include "runtime/codecs/encode/bit_writer.h"

namespace arjrt {

namespace {
constexpr size_t kBufferBytes = 64 * 1024;
}

BitWriter::BitWriter(ByteSink& sink) : sink_(sink), buffer_(kBufferBytes) {}

void BitWriter::Drain() {
  if (used_ != 0 && !Failed(status_)) {
    const ResultCode r = sink_.Write(buffer_.data(), used_);
    if (Failed(r)) {
      status_ = r;
    } else {
      written_ += used_;
    }
  }
  used_ = 0;
}

ResultCode BitWriter::Finish() {
  if (pending_ != 0) Put(8 - pending_, 0);
  Drain();
  return status_;
}

}  // namespace arjrt
