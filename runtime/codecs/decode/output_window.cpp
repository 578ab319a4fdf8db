#include "runtime/codecs/decode/output_window.h"

#include <algorithm>
#include <new>

namespace arjrt {

OutputWindow::OutputWindow(ByteSink& sink, uint64_t total_size)
    : sink_(sink), buffer_(new (std::nothrow) uint8_t[kCapacity]), left_(total_size) {
  unflushed_ = accounted_ = buffer_.get();
}

OutputWindow::Span OutputWindow::NextSpan(uint8_t* position) const {
  const size_t room = static_cast<size_t>(buffer_.get() + kFlushPoint - position);
  const uint64_t stop = std::min<uint64_t>(left_, room);
  const uint64_t hard = std::min<uint64_t>(left_, room + kArjMaxMatch);
  return {position + stop, position + hard};
}

ResultCode OutputWindow::EndSpan(uint8_t*& position) {
  left_ -= static_cast<uint64_t>(position - accounted_);
  accounted_ = position;
  if (left_ != 0 && position < buffer_.get() + kFlushPoint) return RESULT_OK;
  const ResultCode r = WriteOut(position);
  if (r < 0 || left_ == 0) return r;
  uint8_t* const front = buffer_.get();
  std::memmove(front, position - kArjDictionarySize, kArjDictionarySize);
  position = unflushed_ = accounted_ = front + kArjDictionarySize;
  return RESULT_OK;
}

ResultCode OutputWindow::FailAt(uint8_t* position, ResultCode error) {
  IgnoreResult(WriteOut(position));
  return error;
}

ResultCode OutputWindow::WriteOut(uint8_t* position) {
  const size_t size = static_cast<size_t>(position - unflushed_);
  if (size == 0) return RESULT_OK;
  const ResultCode r = sink_.Write(unflushed_, size);
  if (r < 0) return r;
  written_ += size;
  unflushed_ = position;
  return RESULT_OK;
}

}  // namespace arjrt
