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
    for (const Piece& p : pieces_)
      if (p.offset > base_size || p.size > base_size - p.offset) return ERR_BAD_PARAMETER;
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode SeekRead(uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
    if (count != nullptr) *count = 0;
    if (size == 0) return RESULT_OK;
    if (buffer == nullptr) return ERR_BAD_PARAMETER;
    ResultCode result = base_.Ready();
    if (Failed(result)) return result;
    if (offset >= total_) return ERR_END_OF_DATA;
    // The last piece whose start is at or before `offset`.
    size_t i = static_cast<size_t>(
        std::upper_bound(pieces_.begin(), pieces_.end(), offset,
                         [](uint64_t at, const Piece& p) { return at < p.start; }) -
        pieces_.begin() - 1);
    uint8_t* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < size && i < pieces_.size()) {
      const Piece& p = pieces_[i];
      const uint64_t within = offset - p.start;  // offset >= p.start and within < p.size hold here
      const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(size - done, p.size - within));
      uint32_t got = 0;
      result = base_.SeekRead(&got, p.offset + within, out + done, want);
      if (Failed(result) && result != ERR_END_OF_DATA) {
        if (count != nullptr) *count = done;
        return result;
      }
      done += got;
      offset += got;
      if (got < want) break;  // the base ended early
      ++i;
    }
    if (count != nullptr) *count = done;
    return ReadOutcome(done, size);
  }

  [[nodiscard]] ResultCode GetSize(uint64_t* size) {
    if (size == nullptr) return ERR_BAD_PARAMETER;
    *size = total_;
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode GetProperty(PropId id, void* buffer, uint32_t size, uint32_t* length) {
    if (id == PROP_JOINED_BASE) return base_.Get(buffer, size, length);
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
  struct Piece {
    uint64_t start;   // in the joined stream
    uint64_t offset;  // in the base
    uint64_t size;
  };

  [[nodiscard]] ResultCode SetRanges(const void* buffer, uint32_t size) {
    if (size % sizeof(JoinedRange) != 0 || (size != 0 && buffer == nullptr)) return ERR_BAD_PARAMETER;
    const size_t n = size / sizeof(JoinedRange);
    if (n > kMaxJoinedRanges) return ERR_LIMIT_EXCEEDED;
    std::vector<Piece> pieces;
    try {
      pieces.reserve(n);
    } catch (const std::bad_alloc&) {
      return ERR_NO_MEMORY;
    }
    uint64_t total = 0;
    for (size_t i = 0; i < n; ++i) {
      JoinedRange r;
      std::memcpy(&r, static_cast<const uint8_t*>(buffer) + i * sizeof r, sizeof r);
      if (r.size > UINT64_MAX - r.offset || r.size > UINT64_MAX - total) return ERR_BAD_PARAMETER;
      if (r.size == 0) continue;  // an empty piece would break the search by start
      pieces.push_back({total, r.offset, r.size});
      total += r.size;
    }
    pieces_ = std::move(pieces);
    total_ = total;
    return RESULT_OK;
  }

  BaseIo base_;
  std::vector<Piece> pieces_;
  uint64_t total_ = 0;
  bool finished_ = false;
};

const BlockIoMethods& kMethods = ReadOnlyViewMethods<JoinedIo>::kTable;
constexpr InternalHooks kHooks = ServiceHooks<JoinedIo>();
const PropertyRow kProperties[] = {
    ServiceProperty<JoinedIo>(PROP_JOINED_BASE),
    ServiceProperty<JoinedIo>(PROP_JOINED_RANGES),
};

}  // namespace

ResultCode RegisterJoinedIoService(ObjectRef root) {
  return RegisterService(root, IID_BLOCK_IO, PID_JOINED_IO, kHooks, &kMethods, 5, kProperties,
                         std::size(kProperties), sizeof(ServiceRecord<JoinedIo>));
}

}  // namespace arjrt
