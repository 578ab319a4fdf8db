#include "runtime/codecs/encode/bit_writer.h"

namespace arjrt {

namespace {
constexpr size_t kBufferBytes = 64 * 1024;
static_assert(kBufferBytes % 4 == 0, "Put fills the buffer four bytes at a time");
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
  if (pending_ % 8 != 0) Put(8 - pending_ % 8, 0);
  for (; pending_ != 0; pending_ -= 8) {
    if (used_ == buffer_.size()) Drain();
    buffer_[used_++] = static_cast<uint8_t>(acc_ >> (pending_ - 8));
  }
  Drain();
  return status_;
}

}  // namespace arjrt
