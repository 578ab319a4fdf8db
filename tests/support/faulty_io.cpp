#include "tests/support/faulty_io.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "runtime/services/service_support.h"

namespace testing_support {
namespace {

class FaultyIo {
 public:
  explicit FaultyIo(ObjectRef) {}

  ResultCode SeekRead(uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
    if (count) *count = 0;
    if (size == 0) return RESULT_OK;
    if (offset + size > read_limit_) return ERR_IO;
    const uint64_t total = bytes.size();
    const uint32_t n = offset < total ? static_cast<uint32_t>(std::min<uint64_t>(size, total - offset)) : 0;
    if (n != 0) std::memcpy(buffer, bytes.data() + offset, n);
    if (count) *count = n;
    return arjrt::ReadOutcome(n, size);
  }

  ResultCode SeekWrite(uint32_t* count, uint64_t offset, const void* buffer, uint32_t size) {
    if (count) *count = 0;
    if (offset + size > write_limit_) return ERR_IO;
    if (offset + size > bytes.size()) bytes.resize(offset + size);
    std::memcpy(bytes.data() + offset, buffer, size);
    if (count) *count = size;
    return RESULT_OK;
  }

  ResultCode GetSize(uint64_t* size) {
    *size = claimed_ != 0 ? claimed_ : bytes.size();
    return RESULT_OK;
  }

  ResultCode GetProperty(PropId id, void* buffer, uint32_t size, uint32_t* length) {
    if (id == PROP_OBJECT_NAME) return arjrt::StringPropertyOut(name_, buffer, size, length);
    return ERR_PROPERTY_UNAVAILABLE;
  }

  ResultCode SetProperty(PropId id, const void* buffer, uint32_t size) {
    const uint64_t v = arjrt::PropertyIn(buffer, size);
    switch (id) {
      case PROP_OBJECT_NAME: return arjrt::StringPropertyIn(buffer, size, &name_);
      case PROP_FAULT_READ_LIMIT: read_limit_ = v; return RESULT_OK;
      case PROP_FAULT_WRITE_LIMIT: write_limit_ = v; return RESULT_OK;
      case PROP_FAULT_CLAIMED_SIZE: claimed_ = v; return RESULT_OK;
      default: return ERR_ACCESS_DENIED;
    }
  }

  std::vector<uint8_t> bytes;

 private:
  std::string name_;
  uint64_t read_limit_ = ~uint64_t{0} >> 1;
  uint64_t write_limit_ = ~uint64_t{0} >> 1;
  uint64_t claimed_ = 0;
};

ResultCode SeekRead(ObjectRef self, uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
  return arjrt::ImplOf<FaultyIo>(self).SeekRead(count, offset, buffer, size);
}
ResultCode GetSize(ObjectRef self, uint64_t* size, uint32_t) { return arjrt::ImplOf<FaultyIo>(self).GetSize(size); }
ResultCode SeekWrite(ObjectRef self, uint32_t* count, uint64_t offset, const void* buffer, uint32_t size) {
  return arjrt::ImplOf<FaultyIo>(self).SeekWrite(count, offset, buffer, size);
}
ResultCode SetSize(ObjectRef, uint64_t) { return ERR_UNSUPPORTED; }
ResultCode Flush(ObjectRef) { return RESULT_OK; }

const BlockIoMethods kMethods = {SeekRead, GetSize, SeekWrite, SetSize, Flush};
constexpr InternalHooks kHooks = arjrt::ServiceHooks<FaultyIo, false>();
const PropertyRow kProperties[] = {
    arjrt::ServiceProperty<FaultyIo>(PROP_OBJECT_NAME),
    arjrt::ServiceProperty<FaultyIo>(PROP_FAULT_READ_LIMIT),
    arjrt::ServiceProperty<FaultyIo>(PROP_FAULT_WRITE_LIMIT),
    arjrt::ServiceProperty<FaultyIo>(PROP_FAULT_CLAIMED_SIZE),
};

}  // namespace

ResultCode RegisterFaultyIo(ObjectRef root) {
  return arjrt::RegisterService(root, IID_BLOCK_IO, PID_FAULTY_IO, kHooks, &kMethods, 5, kProperties,
                                std::size(kProperties), sizeof(arjrt::ServiceRecord<FaultyIo>));
}

std::vector<uint8_t>& FaultyBytes(ObjectRef io) { return arjrt::ImplOf<FaultyIo>(io).bytes; }

}  // namespace testing_support
