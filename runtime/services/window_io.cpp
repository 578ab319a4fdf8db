// IID_BLOCK_IO: a view of `size` bytes of another I/O from `offset`, so
// that a decoder reading an entry's packed data cannot run into the next
// header. The properties may change between reads (a split entry moves the
// one window from volume to volume) and take effect at the next. Writes
// within the window go through to a base that takes them: a rewritten
// self-extracting archive is written past its program.
#include <algorithm>
#include <cstdint>
#include <iterator>

#include "runtime/services/base_io.h"
#include "runtime/services/service_support.h"
#include "runtime/services/services.h"

namespace arjrt {
namespace {

class WindowIo {
 public:
  explicit WindowIo(ObjectRef self) : base_(self) {}

  [[nodiscard]] ResultCode SeekRead(uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
    if (count != nullptr) *count = 0;
    if (size == 0) return RESULT_OK;
    if (buffer == nullptr) return ERR_BAD_PARAMETER;
    ResultCode result = base_.Ready();
    if (Failed(result)) return result;
    // Bytes left in the window from `offset`, and in the 64-bit range of
    // the base from where they begin there.
    if (offset >= size_ || offset > UINT64_MAX - offset_) return ERR_END_OF_DATA;
    const uint64_t at = offset_ + offset;
    const uint64_t room = std::min(size_ - offset, UINT64_MAX - at);
    const uint32_t wanted = static_cast<uint32_t>(std::min<uint64_t>(size, room));
    uint32_t got = 0;
    result = base_.SeekRead(&got, at, buffer, wanted);
    if (count != nullptr) *count = got;
    if (Failed(result) && result != ERR_END_OF_DATA) return result;
    return ReadOutcome(got, size);
  }

  [[nodiscard]] ResultCode SeekWrite(uint32_t* count, uint64_t offset, const void* buffer, uint32_t size) {
    if (count != nullptr) *count = 0;
    if (size == 0) return RESULT_OK;
    if (buffer == nullptr || offset > size_ || size > size_ - offset || offset > UINT64_MAX - offset_)
      return ERR_BAD_PARAMETER;
    return base_.SeekWrite(count, offset_ + offset, buffer, size);
  }

  [[nodiscard]] ResultCode SetSize(uint64_t size) {
    if (size > size_ || size > UINT64_MAX - offset_) return ERR_BAD_PARAMETER;
    return base_.SetSize(offset_ + size);
  }

  [[nodiscard]] ResultCode Flush() { return base_.Flush(); }

  [[nodiscard]] ResultCode GetSize(uint64_t* size) {
    if (size == nullptr) return ERR_BAD_PARAMETER;
    uint64_t base_size = 0;
    ResultCode result = base_.GetSize(&base_size);
    *size = 0;
    if (Failed(result)) return result;
    if (offset_ < base_size) *size = std::min(size_, base_size - offset_);
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode GetProperty(PropId id, void* buffer, uint32_t size, uint32_t* length) {
    switch (id) {
      case PROP_WINDOW_OFFSET:
        return PropertyOut(&offset_, sizeof offset_, buffer, size, length);
      case PROP_WINDOW_SIZE:
        return PropertyOut(&size_, sizeof size_, buffer, size, length);
      case PROP_WINDOW_BASE:
        return base_.Get(buffer, size, length);
      default:
        return ERR_PROPERTY_UNAVAILABLE;
    }
  }

  [[nodiscard]] ResultCode SetProperty(PropId id, const void* buffer, uint32_t size) {
    switch (id) {
      case PROP_WINDOW_OFFSET:
        offset_ = PropertyIn(buffer, size);
        return RESULT_OK;
      case PROP_WINDOW_SIZE:
        size_ = PropertyIn(buffer, size);
        return RESULT_OK;
      case PROP_WINDOW_BASE:
        return base_.Set(buffer, size);
      default:
        return ERR_ACCESS_DENIED;
    }
  }

 private:
  BaseIo base_;
  uint64_t offset_ = 0;
  uint64_t size_ = 0;
};

const BlockIoMethods& kMethods = WritableViewMethods<WindowIo>::kTable;
constexpr InternalHooks kHooks = ServiceHooks<WindowIo, false>();
const PropertyRow kProperties[] = {
    ServiceProperty<WindowIo>(PROP_WINDOW_OFFSET),
    ServiceProperty<WindowIo>(PROP_WINDOW_SIZE),
    ServiceProperty<WindowIo>(PROP_WINDOW_BASE),
};

}  // namespace

ResultCode RegisterWindowIoService(ObjectRef root) {
  return RegisterService(root, IID_BLOCK_IO, PID_WINDOW_IO, kHooks, &kMethods, 5, kProperties,
                         std::size(kProperties), sizeof(ServiceRecord<WindowIo>));
}

}  // namespace arjrt
