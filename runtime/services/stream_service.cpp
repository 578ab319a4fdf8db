// IID_STREAM: a position and one buffer over the parent I/O object, so that
// the many small reads of a header scan cost a memory copy each.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "runtime/services/native_file_io.h"
#include "runtime/services/service_support.h"
#include "runtime/services/services.h"

namespace arjrt {
namespace {

constexpr uint32_t kBufferSize = 64 * 1024;
// What a read that jumped away from the buffer's bytes loads: a header
// walk reads a few dozen bytes at each header and skips the data between,
// where a whole buffer would copy 64 KiB from the file for each.
constexpr uint32_t kJumpFill = 4 * 1024;

class Stream {
 public:
  explicit Stream(ObjectRef self)
      : io_(AsRt(self)->parent), io_methods_(*static_cast<const BlockIoMethods*>(io_->methods)) {}
  // The I/O is still open here: a stream closes before its parent. A close
  // has no one to tell of a failed write: a writer that must know flushes
  // first, and Flush reports it.
  ~Stream() { IgnoreResult(WriteBack()); }

  [[nodiscard]] ResultCode ReadByte(uint8_t* value) {
    const uint64_t at = position_ - window_;  // wraps to a miss before the window
    if (at < filled_ && value != nullptr) {
      *value = buffer_[at];
      ++position_;
      return RESULT_OK;
    }
    if (value == nullptr) return ERR_BAD_PARAMETER;
    uint8_t byte = 0;
    uint32_t n = 0;
    ResultCode result = Read(&n, &byte, 1);
    if (n != 1) return Failed(result) ? result : ERR_END_OF_DATA;
    *value = byte;
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode ReadWord(uint16_t* value) {
    if (value == nullptr) return ERR_BAD_PARAMETER;
    uint8_t bytes[2];
    const uint64_t at = position_ - window_;
    if (at < filled_ && filled_ - at >= 2) {
      bytes[0] = buffer_[at];
      bytes[1] = buffer_[at + 1];
      position_ += 2;
    } else {
      const uint64_t start = position_;
      uint32_t n = 0;
      ResultCode result = Read(&n, bytes, 2);
      if (n != 2) {  // half a word is none: the byte stays to be read
        position_ = start;
        return Failed(result) ? result : ERR_END_OF_DATA;
      }
    }
    *value = static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode Read(uint32_t* count, void* buffer, uint32_t size) {
    if (count != nullptr) *count = 0;
    if (size == 0) return RESULT_OK;
    if (buffer == nullptr) return ERR_BAD_PARAMETER;
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    ResultCode failure = RESULT_OK;
    bool at_end = false;
    while (done < size) {
      const uint64_t at = position_ - window_;
      if (at < filled_) {
        const uint32_t n = std::min(static_cast<uint32_t>(filled_ - at), size - done);
        std::memcpy(out + done, buffer_ + at, n);
        done += n;
        position_ += n;
        continue;
      }
      if (at_end) break;
      // Dirty bytes go out first so that the I/O read below sees them.
      failure = WriteBack();
      if (Failed(failure)) break;
      const uint32_t wanted = size - done;
      if (wanted >= kBufferSize) {
        uint32_t got = 0;
        ResultCode result = io_methods_.SeekRead(io_, &got, position_, out + done, wanted);
        got = std::min(got, wanted);
        done += got;
        position_ += got;
        if (Failed(result) && result != ERR_END_OF_DATA) failure = result;
        break;
      }
      const uint32_t asked = at <= filled_ ? kBufferSize : kJumpFill;  // reads that follow on get the whole buffer
      failure = Fill(asked);
      if (Failed(failure)) break;
      at_end = filled_ < asked;
    }
    if (count != nullptr) *count = done;
    return Failed(failure) ? failure : ReadOutcome(done, size);
  }

  [[nodiscard]] ResultCode SeekRead(uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
    position_ = offset;
    return Read(count, buffer, size);
  }

  [[nodiscard]] ResultCode Write(uint32_t* count, const void* buffer, uint32_t size) {
    if (count != nullptr) *count = 0;
    if (size == 0) return RESULT_OK;
    if (buffer == nullptr || size > UINT64_MAX - position_) return ERR_BAD_PARAMETER;
    if (io_methods_.SeekWrite == nullptr) return ERR_UNSUPPORTED;
    uint64_t at = position_ - window_;
    if (at > filled_ || size > kBufferSize - at) {  // not contiguous with the buffer's bytes, or no room
      ResultCode result = WriteBack();
      if (Failed(result)) return result;
      if (size >= kBufferSize) {
        filled_ = 0;  // it may hold older copies of the bytes written now
        uint32_t n = 0;
        result = io_methods_.SeekWrite(io_, &n, position_, buffer, size);
        n = std::min(n, size);
        position_ += n;
        if (count != nullptr) *count = n;
        return result;
      }
      window_ = position_;
      filled_ = 0;
      at = 0;
    }
    std::memcpy(buffer_ + at, buffer, size);
    const auto begin = static_cast<uint32_t>(at);
    const uint32_t end = begin + size;
    if (dirty_end_ <= dirty_begin_) {
      dirty_begin_ = begin;
      dirty_end_ = end;
    } else {
      dirty_begin_ = std::min(dirty_begin_, begin);
      dirty_end_ = std::max(dirty_end_, end);
    }
    filled_ = std::max(filled_, end);
    position_ += size;
    if (count != nullptr) *count = size;
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode WriteLittle(uint32_t value, uint32_t width) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return Write(nullptr, bytes, width);
  }

  [[nodiscard]] ResultCode Seek(uint64_t* position, uint64_t offset, uint32_t origin) {
    uint64_t target = 0;
    ResultCode result = RESULT_OK;
    switch (origin) {
      case SEEK_FROM_START:
        target = offset;
        break;
      case SEEK_FORWARD:
        if (offset > UINT64_MAX - position_) result = ERR_BAD_PARAMETER;
        target = position_ + offset;
        break;
      case SEEK_FROM_END: {
        uint64_t size = 0;
        result = LogicalSize(&size);
        if (!Failed(result) && offset > size) result = ERR_BAD_PARAMETER;
        target = size - offset;
        break;
      }
      case SEEK_BACKWARD:
        if (offset > position_) result = ERR_BAD_PARAMETER;
        target = position_ - offset;
        break;
      default:
        result = ERR_BAD_PARAMETER;
    }
    if (!Failed(result)) position_ = target;
    if (position != nullptr) *position = position_;
    return result;
  }

  [[nodiscard]] ResultCode SetPosition(uint32_t low, uint32_t high) {
    position_ = static_cast<uint64_t>(high) << 32 | low;
    return RESULT_OK;
  }

  // IID_RANGE_COPY's copy of this stream's I/O into `target`'s, where the
  // two are native files: each buffer's unwritten bytes go out first, and
  // the target's buffer is dropped, as the copy may overwrite what it holds.
  [[nodiscard]] ResultCode CopyTo(Stream& target, uint64_t offset, uint64_t size, uint64_t* copied) {
    *copied = 0;
    if (size > UINT64_MAX - target.position_) return ERR_BAD_PARAMETER;
    ResultCode result = WriteBack();
    if (!Failed(result)) result = target.WriteBack();
    if (Failed(result)) return result;
    target.filled_ = 0;
    result = CopyNativeFileRange(io_, offset, target.io_, target.position_, size, copied);
    target.position_ += *copied;
    return result;
  }

  [[nodiscard]] ResultCode Flush() {
    ResultCode result = WriteBack();
    if (Failed(result)) return result;
    return io_methods_.Flush != nullptr ? io_methods_.Flush(io_) : RESULT_OK;
  }

 private:
  // Writes the dirty range back. A failed write is reported once; its bytes
  // are dropped rather than retried by every later call.
  [[nodiscard]] ResultCode WriteBack() {
    if (dirty_end_ <= dirty_begin_) return RESULT_OK;
    const uint32_t begin = dirty_begin_;
    const uint32_t size = dirty_end_ - begin;
    dirty_begin_ = dirty_end_ = 0;
    uint32_t n = 0;
    return io_methods_.SeekWrite(io_, &n, window_ + begin, buffer_ + begin, size);
  }

  // Loads `size` bytes of the buffer from the position; the dirty range
  // must be empty.
  [[nodiscard]] ResultCode Fill(uint32_t size) {
    window_ = position_;
    filled_ = 0;
    uint32_t got = 0;
    ResultCode result = io_methods_.SeekRead(io_, &got, window_, buffer_, size);
    filled_ = std::min(got, size);
    return Failed(result) && result != ERR_END_OF_DATA ? result : RESULT_OK;
  }

  // The I/O's size, or more when buffered writes extend it.
  [[nodiscard]] ResultCode LogicalSize(uint64_t* size) {
    ResultCode result = io_methods_.GetSize(io_, size, 0);
    if (Failed(result)) return result;
    if (filled_ != 0 && window_ + filled_ > *size) *size = window_ + filled_;
    return RESULT_OK;
  }

  ObjectRef io_;
  const BlockIoMethods& io_methods_;
  uint64_t position_ = 0;
  uint64_t window_ = 0;    // I/O offset of buffer_[0]
  uint32_t filled_ = 0;    // bytes of the buffer that hold the I/O's (or newer) data
  uint32_t dirty_begin_ = 0;
  uint32_t dirty_end_ = 0;  // empty when not above dirty_begin_
  uint8_t buffer_[kBufferSize];
};

Stream& Of(ObjectRef self) { return ImplOf<Stream>(self); }

[[nodiscard]] ResultCode SeekRead(ObjectRef self, uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
  return Of(self).SeekRead(count, offset, buffer, size);
}
[[nodiscard]] ResultCode Flush(ObjectRef self) { return Of(self).Flush(); }
[[nodiscard]] ResultCode Read(ObjectRef self, uint32_t* count, void* buffer, uint32_t size) {
  return Of(self).Read(count, buffer, size);
}
[[nodiscard]] ResultCode ReadByte(ObjectRef self, uint8_t* value) { return Of(self).ReadByte(value); }
[[nodiscard]] ResultCode ReadWord(ObjectRef self, uint16_t* value) { return Of(self).ReadWord(value); }
[[nodiscard]] ResultCode Write(ObjectRef self, uint32_t* count, const void* buffer, uint32_t size) {
  return Of(self).Write(count, buffer, size);
}
[[nodiscard]] ResultCode WriteWord(ObjectRef self, uint16_t value) { return Of(self).WriteLittle(value, 2); }
[[nodiscard]] ResultCode WriteDWord(ObjectRef self, uint32_t value) { return Of(self).WriteLittle(value, 4); }
[[nodiscard]] ResultCode Seek(ObjectRef self, uint64_t* position, uint64_t offset, uint32_t origin) {
  return Of(self).Seek(position, offset, origin);
}
[[nodiscard]] ResultCode SetPosition(ObjectRef self, uint32_t low, uint32_t high, uint32_t) {
  return Of(self).SetPosition(low, high);
}

// A stream needs an I/O object to stand on: its parent.
[[nodiscard]] ResultCode OnInit(ObjectRef self) {
  const RtObject* parent = AsRt(self)->parent;
  if (parent == nullptr || parent->impl->iid != IID_BLOCK_IO || parent->methods == nullptr) return ERR_NO_SOURCE;
  const auto& io = *static_cast<const BlockIoMethods*>(parent->methods);
  if (io.SeekRead == nullptr || io.GetSize == nullptr) return ERR_NO_SOURCE;
  return ConstructService<Stream>(self);
}

const StreamMethods kMethods = {SeekRead, Flush, Read, ReadByte, ReadWord, Write, WriteWord, WriteDWord, Seek,
                                SetPosition};

// IID_RANGE_COPY: its parent is the source stream; the destination must be
// a stream of this service too (else ERR_UNSUPPORTED: the caller copies).
[[nodiscard]] ResultCode CopyTo(ObjectRef self, ObjectRef destination, uint64_t offset, uint64_t size,
                                uint64_t* copied) {
  if (copied == nullptr) return ERR_BAD_PARAMETER;
  *copied = 0;
  if (destination == nullptr || destination->methods != &kMethods) return ERR_UNSUPPORTED;
  return Of(AsRt(self)->parent).CopyTo(Of(destination), offset, size, copied);
}

[[nodiscard]] ResultCode OnRangeCopyInit(ObjectRef self) {
  const RtObject* parent = AsRt(self)->parent;
  return parent != nullptr && parent->methods == &kMethods ? RESULT_OK : ERR_NO_SOURCE;
}

const RangeCopyMethods kRangeCopyMethods = {CopyTo};

constexpr InternalHooks MakeRangeCopyHooks() {
  InternalHooks hooks{};
  hooks.OnInit = OnRangeCopyInit;
  return hooks;
}
constexpr InternalHooks kRangeCopyHooks = MakeRangeCopyHooks();

constexpr InternalHooks MakeHooks() {
  InternalHooks hooks = ServiceHooks<Stream, false>();
  hooks.OnInit = OnInit;
  return hooks;
}
constexpr InternalHooks kHooks = MakeHooks();

}  // namespace

ResultCode RegisterStreamService(ObjectRef root) {
  const ResultCode result = RegisterService(root, IID_STREAM, PID_STREAM, kHooks, &kMethods, 10, nullptr, 0,
                                            sizeof(ServiceRecord<Stream>));
  if (Failed(result)) return result;
  return RegisterService(root, IID_RANGE_COPY, PID_STREAM, kRangeCopyHooks, &kRangeCopyMethods, 1, nullptr, 0, 0);
}

}  // namespace arjrt
