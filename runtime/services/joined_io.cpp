// IID_BLOCK_IO, read-only: ranges of a base I/O read as one stream. Recovery
// hands it to the plug-in so that the damaged places of an archive are
// never seen. Every range is checked in 64 bits when it is set; reads are
// cut to the ranges, so no request of the base leaves them.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>
#include <vector>

#include "runtime/services/base_io.h"
#include "runtime/services/joined_ranges.h"
#include "runtime/services/service_support.h"
#include "runtime/services/services.h"

namespace arjrt {
namespace {

class JoinedIo {
 public:
  explicit JoinedIo(ObjectRef self) : base_(self) {}

  // Every range must lie inside the base as it is now.
  [[nodiscard]] ResultCode Finish() {
    finished_ = true;
    uint64_t base_size = 0;
    ResultCode result = base_.GetSize(&base_size);
    if (Failed(result)) return result;
    return ranges_.Within(base_size) ? RESULT_OK : ERR_BAD_PARAMETER;
  }

  [[nodiscard]] ResultCode SeekRead(uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
    if (count != nullptr) *count = 0;
    if (size == 0) return RESULT_OK;
    if (buffer == nullptr) return ERR_BAD_PARAMETER;
    ResultCode result = base_.Ready();
    if (Failed(result)) return result;
    if (offset >= ranges_.total()) return ERR_END_OF_DATA;
    uint32_t done = 0;
    result = ranges_.Read(offset, static_cast<uint8_t*>(buffer), size, &done,
                          [this](uint64_t at, uint8_t* out, uint32_t want, uint32_t* got) {
                            return base_.SeekRead(got, at, out, want);
                          });
    if (count != nullptr) *count = done;
    return Failed(result) ? result : ReadOutcome(done, size);
  }

  [[nodiscard]] ResultCode GetSize(uint64_t* size) {
    if (size == nullptr) return ERR_BAD_PARAMETER;
    *size = ranges_.total();
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode GetProperty(PropId id, void* buffer, uint32_t size, uint32_t* length) {
    if (id == PROP_JOINED_BASE) return base_.Get(buffer, size, length);
    // Named by the file it shows: the volume of a set keeps its name.
    if (id == PROP_OBJECT_NAME) return base_.GetName(buffer, size, length);
    return ERR_PROPERTY_UNAVAILABLE;
  }

  [[nodiscard]] ResultCode SetProperty(PropId id, const void* buffer, uint32_t size) {
    // The plug-in reads a fixed stream: its layout is settled at creation.
    if (finished_) return ERR_ACCESS_DENIED;
    if (id == PROP_JOINED_BASE) return base_.Set(buffer, size);
    if (id == PROP_JOINED_RANGES) return SetRanges(buffer, size);
    return ERR_ACCESS_DENIED;
  }

 private:
  [[nodiscard]] ResultCode SetRanges(const void* buffer, uint32_t size) {
    if (size % sizeof(JoinedRange) != 0 || (size != 0 && buffer == nullptr)) return ERR_BAD_PARAMETER;
    const size_t n = size / sizeof(JoinedRange);
    if (n > kMaxJoinedRanges) return ERR_LIMIT_EXCEEDED;
    try {
      std::vector<JoinedRange> ranges(n);
      if (n != 0) std::memcpy(ranges.data(), buffer, n * sizeof(JoinedRange));
      return ranges_.Set(ranges);
    } catch (const std::bad_alloc&) {
      return ERR_NO_MEMORY;
    }
  }

  BaseIo base_;
  JoinedRanges ranges_;
  bool finished_ = false;
};

const BlockIoMethods& kMethods = ReadOnlyViewMethods<JoinedIo>::kTable;
constexpr InternalHooks kHooks = ServiceHooks<JoinedIo>();
const PropertyRow kProperties[] = {
    ServiceProperty<JoinedIo>(PROP_JOINED_BASE),
    ServiceProperty<JoinedIo>(PROP_JOINED_RANGES),
    ServiceProperty<JoinedIo>(PROP_OBJECT_NAME),
};

}  // namespace

ResultCode RegisterJoinedIoService(ObjectRef root) {
  return RegisterService(root, IID_BLOCK_IO, PID_JOINED_IO, kHooks, &kMethods, 5, kProperties,
                         std::size(kProperties), sizeof(ServiceRecord<JoinedIo>));
}

}  // namespace arjrt
