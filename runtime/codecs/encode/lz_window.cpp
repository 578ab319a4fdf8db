#include "runtime/codecs/encode/lz_window.h"

#include <cstring>

namespace arjrt {

LzWindow::LzWindow(ByteSource& in) : in_(in), buffer_(kBufferBytes + kWindowSlack) {}

ResultCode LzWindow::ReadMore(uint32_t* shift) {
  while (!eof_ && filled_ - pos_ < lzh::kMaxMatch) {
    if (filled_ == kBufferBytes) {
      // Keep at least kHistory bytes behind the cursor; whole multiples of
      // kHistory keep each position's slot in the finders' ring tables.
      const uint32_t s = (pos_ - kHistory) & ~(kHistory - 1);
      std::memmove(buffer_.data(), buffer_.data() + s, filled_ - s);
      pos_ -= s;
      filled_ -= s;
      *shift += s;
    }
    const size_t room = kBufferBytes - filled_;
    const int64_t got = in_.Read(buffer_.data() + filled_, room);
    if (got < 0) return static_cast<ResultCode>(got);
    // A source must not claim more than it was offered.
    if (static_cast<uint64_t>(got) > room) return ERR_BAD_PARAMETER;
    if (got == 0) eof_ = true;
    filled_ += static_cast<uint32_t>(got);
    bytes_read_ += static_cast<uint64_t>(got);
  }
  return RESULT_OK;
}

void RebasePositions(ScratchArray<int32_t>& positions, uint32_t shift) {
  const int32_t s = static_cast<int32_t>(shift);
  int32_t* v = positions.data();
  for (size_t i = 0; i < positions.size(); ++i) v[i] = v[i] >= s ? v[i] - s : kNoPosition;
}

}  // namespace arjrt
