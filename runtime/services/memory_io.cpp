// IID_BLOCK_IO in memory: a read-only view of the embedder's bytes, or a
// byte buffer of its own that writes grow.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <iterator>
#include <string>
#include <vector>

#include "runtime/services/service_support.h"
#include "runtime/services/services.h"

namespace arjrt {
namespace {

constexpr uint64_t kMaxOwnedSize = uint64_t{4} << 30;

class MemoryIo {
 public:
  explicit MemoryIo(ObjectRef) {}

  [[nodiscard]] ResultCode Finish() {
    if (view_address_ == 0 && view_size_ != 0) return ERR_BAD_PARAMETER;
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode SeekRead(uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
    if (count != nullptr) *count = 0;
    if (size == 0) return RESULT_OK;
    if (buffer == nullptr) return ERR_BAD_PARAMETER;
    const uint64_t total = Size();
    const uint32_t n = offset < total ? static_cast<uint32_t>(std::min<uint64_t>(size, total - offset)) : 0;
    if (n != 0) std::memcpy(buffer, Data() + offset, n);
    if (count != nullptr) *count = n;
    return ReadOutcome(n, size);
  }

  [[nodiscard]] ResultCode SeekWrite(uint32_t* count, uint64_t offset, const void* buffer, uint32_t size) {
    if (count != nullptr) *count = 0;
    if (size == 0) return RESULT_OK;
    if (IsView()) return ERR_ACCESS_DENIED;
    if (buffer == nullptr) return ERR_BAD_PARAMETER;
    if (offset > kMaxOwnedSize || size > kMaxOwnedSize - offset) return ERR_NO_MEMORY;
    if (offset + size > bytes_.size()) {
      ResultCode result = Resize(offset + size);
      if (Failed(result)) return result;
    }
    std::memcpy(bytes_.data() + offset, buffer, size);
    if (count != nullptr) *count = size;
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode GetSize(uint64_t* size) const {
    if (size == nullptr) return ERR_BAD_PARAMETER;
    *size = Size();
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode SetSize(uint64_t size) {
    if (IsView()) return ERR_ACCESS_DENIED;
    if (size > kMaxOwnedSize) return ERR_NO_MEMORY;
    return Resize(size);
  }

  [[nodiscard]] ResultCode GetProperty(PropId id, void* buffer, uint32_t size, uint32_t* length) {
    switch (id) {
      case PROP_OBJECT_NAME:
        return StringPropertyOut(name_, buffer, size, length);
      case PROP_IO_ORIGIN: {
        const uint32_t origin = 0;
        return PropertyOut(&origin, sizeof origin, buffer, size, length);
      }
      case PROP_OBJECT_SIZE: {
        const uint64_t total = Size();
        return PropertyOut(&total, sizeof total, buffer, size, length);
      }
      case PROP_MEMORY_VIEW_ADDRESS:
        return PropertyOut(&view_address_, sizeof view_address_, buffer, size, length);
      case PROP_MEMORY_VIEW_SIZE:
        return PropertyOut(&view_size_, sizeof view_size_, buffer, size, length);
      default:
        return ERR_PROPERTY_UNAVAILABLE;
    }
  }

  [[nodiscard]] ResultCode SetProperty(PropId id, const void* buffer, uint32_t size) {
    switch (id) {
      case PROP_OBJECT_NAME:
        return StringPropertyIn(buffer, size, &name_);
      case PROP_MEMORY_VIEW_ADDRESS:
        view_address_ = PropertyIn(buffer, size);
        return RESULT_OK;
      case PROP_MEMORY_VIEW_SIZE:
        view_size_ = PropertyIn(buffer, size);
        return RESULT_OK;
      default:
        return ERR_ACCESS_DENIED;
    }
  }

 private:
  bool IsView() const { return view_address_ != 0; }
  uint64_t Size() const { return IsView() ? view_size_ : bytes_.size(); }
  const uint8_t* Data() const {
    return IsView() ? reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(view_address_)) : bytes_.data();
  }

  [[nodiscard]] ResultCode Resize(uint64_t size) {
    try {
      bytes_.resize(static_cast<size_t>(size));  // zero-fills what it adds
    } catch (const std::exception&) {            // bad_alloc, length_error
      return ERR_NO_MEMORY;
    }
    return RESULT_OK;
  }

  std::string name_;
  uint64_t view_address_ = 0;
  uint64_t view_size_ = 0;
  std::vector<uint8_t> bytes_;
};

[[nodiscard]] ResultCode SeekRead(ObjectRef self, uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
  return ImplOf<MemoryIo>(self).SeekRead(count, offset, buffer, size);
}
[[nodiscard]] ResultCode GetSize(ObjectRef self, uint64_t* size, uint32_t) {
  return ImplOf<MemoryIo>(self).GetSize(size);
}
[[nodiscard]] ResultCode SeekWrite(ObjectRef self, uint32_t* count, uint64_t offset, const void* buffer,
                                   uint32_t size) {
  return ImplOf<MemoryIo>(self).SeekWrite(count, offset, buffer, size);
}
[[nodiscard]] ResultCode SetSize(ObjectRef self, uint64_t size) { return ImplOf<MemoryIo>(self).SetSize(size); }
[[nodiscard]] ResultCode Flush(ObjectRef) { return RESULT_OK; }

const BlockIoMethods kMethods = {SeekRead, GetSize, SeekWrite, SetSize, Flush};
constexpr InternalHooks kHooks = ServiceHooks<MemoryIo>();
const PropertyRow kProperties[] = {
    ServiceProperty<MemoryIo>(PROP_OBJECT_NAME),         ServiceProperty<MemoryIo>(PROP_IO_ORIGIN),
    ServiceProperty<MemoryIo>(PROP_OBJECT_SIZE),         ServiceProperty<MemoryIo>(PROP_MEMORY_VIEW_ADDRESS),
    ServiceProperty<MemoryIo>(PROP_MEMORY_VIEW_SIZE),
};

}  // namespace

ResultCode RegisterMemoryIoService(ObjectRef root) {
  return RegisterService(root, IID_BLOCK_IO, PID_MEMORY_IO, kHooks, &kMethods, 5, kProperties,
                         std::size(kProperties), sizeof(ServiceRecord<MemoryIo>));
}

}  // namespace arjrt
