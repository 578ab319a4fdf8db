// IID_BLOCK_IO: the bytes of its base with ARJ garbling removed. ARJ XORs
// the packed data of a garbled entry with a key repeated from the data's
// first byte, byte j with key[j % key length]; the base here is a window on
// that data, so the base's offset is j. The key may change between reads:
// each volume part of an entry has its own.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "plugin/format/garble_key.h"
#include "runtime/services/base_io.h"
#include "runtime/services/service_support.h"
#include "runtime/services/services.h"

namespace arjrt {
namespace {

constexpr uint32_t kMaxKeyLength = 512;

class GarbleIo {
 public:
  explicit GarbleIo(ObjectRef self) : base_(self) {}

  [[nodiscard]] ResultCode SeekRead(uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
    if (count != nullptr) *count = 0;
    if (size == 0) return RESULT_OK;
    if (buffer == nullptr) return ERR_BAD_PARAMETER;
    ResultCode result = base_.Ready();
    if (Failed(result)) return result;
    uint32_t got = 0;
    result = base_.SeekRead(&got, offset, buffer, size);
    Ungarble(static_cast<uint8_t*>(buffer), got, offset);
    if (count != nullptr) *count = got;
    return result;
  }

  [[nodiscard]] ResultCode GetSize(uint64_t* size) {
    if (size == nullptr) return ERR_BAD_PARAMETER;
    return base_.GetSize(size);
  }

  [[nodiscard]] ResultCode GetProperty(PropId id, void* buffer, uint32_t size, uint32_t* length) {
    switch (id) {
      case PROP_GARBLE_BASE:
        return base_.Get(buffer, size, length);
      case PROP_GARBLE_KEY: {
        if (length != nullptr) *length = key_size_;
        if (buffer == nullptr && size == 0) return RESULT_OK;
        if (buffer == nullptr || size < key_size_) return ERR_BUFFER_TOO_SMALL;
        std::memcpy(buffer, key_, key_size_);
        return RESULT_OK;
      }
      case PROP_GARBLE_KEY_LENGTH:
        return PropertyOut(&key_length_, sizeof key_length_, buffer, size, length);
      default:
        return ERR_PROPERTY_UNAVAILABLE;
    }
  }

  [[nodiscard]] ResultCode SetProperty(PropId id, const void* buffer, uint32_t size) {
    switch (id) {
      case PROP_GARBLE_BASE:
        return base_.Set(buffer, size);
      case PROP_GARBLE_KEY:
        // The key's bytes; the length to use follows them unless set after.
        if (size > kMaxKeyLength || (buffer == nullptr && size != 0)) return ERR_BAD_PARAMETER;
        std::memset(key_, 0, sizeof key_);
        if (size != 0) std::memcpy(key_, buffer, size);
        key_size_ = size;
        key_length_ = size;
        return RESULT_OK;
      case PROP_GARBLE_KEY_LENGTH: {
        // Counts bytes, zeros included: a key byte may be zero. Bytes past
        // the ones set are zero and leave their data unchanged.
        const uint64_t length = PropertyIn(buffer, size);
        if (length > kMaxKeyLength) return ERR_BAD_PARAMETER;
        key_length_ = static_cast<uint32_t>(length);
        return RESULT_OK;
      }
      default:
        return ERR_ACCESS_DENIED;
    }
  }

 private:
  void Ungarble(uint8_t* data, uint32_t size, uint64_t offset) const {
    arjhost::format::GarbleBytes(data, size, key_, key_length_, offset);
  }

  BaseIo base_;
  uint8_t key_[kMaxKeyLength] = {};
  uint32_t key_size_ = 0;    // bytes set through PROP_GARBLE_KEY
  uint32_t key_length_ = 0;  // bytes of key_ in use
};

const BlockIoMethods& kMethods = ReadOnlyViewMethods<GarbleIo>::kTable;
// No check at CreateObjectDone: the key and base may come before or after it.
constexpr InternalHooks kHooks = ServiceHooks<GarbleIo, false>();
const PropertyRow kProperties[] = {
    ServiceProperty<GarbleIo>(PROP_GARBLE_BASE),
    ServiceProperty<GarbleIo>(PROP_GARBLE_KEY),
    ServiceProperty<GarbleIo>(PROP_GARBLE_KEY_LENGTH),
};

}  // namespace

ResultCode RegisterGarbleIoService(ObjectRef root) {
  return RegisterService(root, IID_BLOCK_IO, PID_GARBLE_IO, kHooks, &kMethods, 5, kProperties,
                         std::size(kProperties), sizeof(ServiceRecord<GarbleIo>));
}

}  // namespace arjrt
