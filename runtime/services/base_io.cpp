#include "runtime/services/base_io.h"

#include <cstring>

#include "runtime/core/runtime.h"
#include "runtime/services/service_support.h"

namespace arjrt {
namespace {

// Marks the owner busy for the length of one call of its base.
class BusyScope {
 public:
  explicit BusyScope(bool& busy) : busy_(busy) { busy_ = true; }
  ~BusyScope() { busy_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& busy_;
};

const BlockIoMethods& MethodsOf(ObjectRef io) { return *static_cast<const BlockIoMethods*>(io->methods); }

}  // namespace

ResultCode BaseIo::Set(const void* buffer, uint32_t size) {
  if (buffer == nullptr || size != sizeof(ObjectRef)) return ERR_BAD_PARAMETER;
  ObjectRef value = nullptr;
  std::memcpy(&value, buffer, sizeof value);
  if (value != nullptr) {
    const Runtime* runtime = AsRt(owner_)->runtime;
    if (value == owner_ || !runtime->IsLive(value)) return ERR_BAD_PARAMETER;
    const RtObject* rt = AsRt(value);
    if (rt->impl->iid != IID_BLOCK_IO || rt->methods == nullptr) return ERR_BAD_PARAMETER;
    const BlockIoMethods& m = MethodsOf(value);
    if (m.SeekRead == nullptr || m.GetSize == nullptr) return ERR_BAD_PARAMETER;
  }
  base_ = value;
  return RESULT_OK;
}

ResultCode BaseIo::Get(void* buffer, uint32_t size, uint32_t* length) const {
  return PropertyOut(&base_, sizeof base_, buffer, size, length);
}

ResultCode BaseIo::Ready() const {
  if (base_ == nullptr || !AsRt(owner_)->runtime->IsLive(base_)) return ERR_NOT_INITIALIZED;
  return busy_ ? ERR_BAD_PARAMETER : RESULT_OK;
}

ResultCode BaseIo::SeekRead(uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
  if (count != nullptr) *count = 0;
  ResultCode result = Ready();
  if (Failed(result)) return result;
  BusyScope scope(busy_);
  uint32_t got = 0;
  result = MethodsOf(base_).SeekRead(base_, &got, offset, buffer, size);
  if (count != nullptr) *count = got < size ? got : size;  // never trust a count beyond the request
  return result;
}

ResultCode BaseIo::GetSize(uint64_t* size) {
  *size = 0;
  ResultCode result = Ready();
  if (Failed(result)) return result;
  BusyScope scope(busy_);
  result = MethodsOf(base_).GetSize(base_, size, 0);
  if (Failed(result)) *size = 0;
  return result;
}

ResultCode BaseIo::GetName(void* buffer, uint32_t size, uint32_t* length) {
  ResultCode result = Ready();
  if (Failed(result)) return result;
  BusyScope scope(busy_);
  return base_->system->GetPropBuffer(base_, length, PROP_OBJECT_NAME, buffer, size);
}

ResultCode BaseIo::SeekWrite(uint32_t* count, uint64_t offset, const void* buffer, uint32_t size) {
  if (count != nullptr) *count = 0;
  ResultCode result = Ready();
  if (Failed(result)) return result;
  if (MethodsOf(base_).SeekWrite == nullptr) return ERR_ACCESS_DENIED;
  BusyScope scope(busy_);
  uint32_t done = 0;
  result = MethodsOf(base_).SeekWrite(base_, &done, offset, buffer, size);
  if (count != nullptr) *count = done < size ? done : size;
  return result;
}

ResultCode BaseIo::SetSize(uint64_t size) {
  ResultCode result = Ready();
  if (Failed(result)) return result;
  if (MethodsOf(base_).SetSize == nullptr) return ERR_ACCESS_DENIED;
  BusyScope scope(busy_);
  return MethodsOf(base_).SetSize(base_, size);
}

ResultCode BaseIo::Flush() {
  ResultCode result = Ready();
  if (Failed(result)) return result;
  if (MethodsOf(base_).Flush == nullptr) return RESULT_OK;
  BusyScope scope(busy_);
  return MethodsOf(base_).Flush(base_);
}

}  // namespace arjrt
