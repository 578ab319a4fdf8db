// IID_BLOCK_IO: scratch storage for an extracted entry. Small entries stay
// in memory; once the content would pass the memory limit it moves to an
// unnamed temporary file and stays there, so an entry of gigabytes costs
// disk, not memory.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <iterator>
#include <vector>

#include "runtime/core/runtime.h"
#include "runtime/services/anonymous_file.h"
#include "runtime/services/fd_transfer.h"
#include "runtime/services/service_support.h"
#include "runtime/services/services.h"

namespace arjrt {
namespace {

constexpr uint64_t kMaxOffset = static_cast<uint64_t>(INT64_MAX);
constexpr uint32_t kSpillChunk = uint32_t{1} << 30;

class TempIo {
 public:
  explicit TempIo(ObjectRef self) : limit_(AsRt(self)->runtime->limits().extract_memory) {}
  ~TempIo() {
    if (fd_ >= 0) ::close(fd_);
  }

  ResultCode SeekRead(uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
    if (count != nullptr) *count = 0;
    if (size == 0) return RESULT_OK;
    if (buffer == nullptr) return ERR_BAD_PARAMETER;
    const uint64_t total = Size();
    const uint32_t wanted = offset < total ? static_cast<uint32_t>(std::min<uint64_t>(size, total - offset)) : 0;
    uint32_t done = 0;
    if (!InFile()) {
      if (wanted != 0) std::memcpy(buffer, memory_.data() + offset, wanted);
      done = wanted;
    } else if (wanted != 0 && ReadFullyAt(fd_, offset, buffer, wanted, &done) != 0) {
      if (count != nullptr) *count = done;
      return ERR_IO;
    }
    if (count != nullptr) *count = done;
    return ReadOutcome(done, size);
  }

  ResultCode SeekWrite(uint32_t* count, uint64_t offset, const void* buffer, uint32_t size) {
    if (count != nullptr) *count = 0;
    if (size == 0) return RESULT_OK;
    if (buffer == nullptr || offset > kMaxOffset - size) return ERR_BAD_PARAMETER;
    const uint64_t end = offset + size;
    if (!InFile()) {
      ResultCode result = GrowInMemory(end);
      if (Failed(result)) return result;
      if (!InFile()) {
        std::memcpy(memory_.data() + offset, buffer, size);
        if (count != nullptr) *count = size;
        return RESULT_OK;
      }
    }
    uint32_t done = 0;
    const int error = WriteFullyAt(fd_, offset, buffer, size, &done);
    if (done != 0) file_size_ = std::max(file_size_, offset + done);
    if (count != nullptr) *count = done;
    return error != 0 ? ERR_IO : RESULT_OK;
  }

  ResultCode GetSize(uint64_t* size) const {
    if (size == nullptr) return ERR_BAD_PARAMETER;
    *size = Size();
    return RESULT_OK;
  }

  ResultCode SetSize(uint64_t size) {
    if (size > kMaxOffset) return ERR_BAD_PARAMETER;
    if (!InFile()) {
      if (size <= memory_.size()) {
        memory_.resize(static_cast<size_t>(size));
        return RESULT_OK;
      }
      ResultCode result = GrowInMemory(size);
      if (Failed(result) || !InFile()) return result;
    }
    int r;
    do r = ::ftruncate(fd_, static_cast<off_t>(size));
    while (r != 0 && errno == EINTR);
    if (r != 0) return ERR_IO;
    file_size_ = size;
    return RESULT_OK;
  }

  ResultCode GetProperty(PropId id, void* buffer, uint32_t size, uint32_t* length) {
    switch (id) {
      case PROP_ACCESS_MODE:
        return PropertyOut(&access_, sizeof access_, buffer, size, length);
      case PROP_OPEN_MODE:
        return PropertyOut(&open_, sizeof open_, buffer, size, length);
      case PROP_TEMP_MEMORY_LIMIT:
        return PropertyOut(&limit_, sizeof limit_, buffer, size, length);
      case PROP_OBJECT_SIZE: {
        const uint64_t total = Size();
        return PropertyOut(&total, sizeof total, buffer, size, length);
      }
      default:
        return ERR_PROPERTY_UNAVAILABLE;
    }
  }

  ResultCode SetProperty(PropId id, const void* buffer, uint32_t size) {
    switch (id) {
      case PROP_ACCESS_MODE:
        access_ = static_cast<uint32_t>(PropertyIn(buffer, size));
        return RESULT_OK;
      case PROP_OPEN_MODE:
        open_ = static_cast<uint32_t>(PropertyIn(buffer, size));
        return RESULT_OK;
      case PROP_TEMP_MEMORY_LIMIT:  // applies from the next growth on
        limit_ = PropertyIn(buffer, size);
        return RESULT_OK;
      default:
        return ERR_ACCESS_DENIED;
    }
  }

 private:
  bool InFile() const { return fd_ >= 0; }
  uint64_t Size() const { return InFile() ? file_size_ : memory_.size(); }

  // Makes the memory content at least `size` bytes, zero-filled, or moves
  // it to the file when that would pass the limit or memory runs out.
  ResultCode GrowInMemory(uint64_t size) {
    if (size <= memory_.size()) return RESULT_OK;
    if (size > limit_) return MoveToFile();
    try {
      if (size > memory_.capacity()) {
        // Doubling keeps appends linear; the limit caps what it reserves.
        const uint64_t doubled = std::max<uint64_t>(size, uint64_t{memory_.capacity()} * 2);
        memory_.reserve(static_cast<size_t>(std::min(doubled, limit_)));
      }
      memory_.resize(static_cast<size_t>(size));
    } catch (const std::exception&) {  // bad_alloc, length_error
      return MoveToFile();
    }
    return RESULT_OK;
  }

  // Writes the memory content to a new anonymous file. On failure the
  // content stays in memory, whole, and the caller's write fails.
  ResultCode MoveToFile() {
    const int fd = OpenAnonymousFile();
    if (fd < 0) return ERR_IO;
    const uint64_t total = memory_.size();
    for (uint64_t at = 0; at < total;) {
      const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kSpillChunk, total - at));
      uint32_t done = 0;
      if (WriteFullyAt(fd, at, memory_.data() + at, n, &done) != 0) {
        ::close(fd);
        return ERR_IO;
      }
      at += n;
    }
    fd_ = fd;
    file_size_ = total;
    std::vector<uint8_t>().swap(memory_);  // gives the memory back
    return RESULT_OK;
  }

  std::vector<uint8_t> memory_;
  int fd_ = -1;
  uint64_t file_size_ = 0;
  uint64_t limit_;  // the runtime's extraction memory bound, unless set
  uint32_t access_ = 0;
  uint32_t open_ = 0;
};

ResultCode SeekRead(ObjectRef self, uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
  return ImplOf<TempIo>(self).SeekRead(count, offset, buffer, size);
}
ResultCode GetSize(ObjectRef self, uint64_t* size, uint32_t) { return ImplOf<TempIo>(self).GetSize(size); }
ResultCode SeekWrite(ObjectRef self, uint32_t* count, uint64_t offset, const void* buffer, uint32_t size) {
  return ImplOf<TempIo>(self).SeekWrite(count, offset, buffer, size);
}
ResultCode SetSize(ObjectRef self, uint64_t size) { return ImplOf<TempIo>(self).SetSize(size); }
// Writes reach the memory or the file at once; scratch data needs no sync.
ResultCode Flush(ObjectRef) { return RESULT_OK; }

const BlockIoMethods kMethods = {SeekRead, GetSize, SeekWrite, SetSize, Flush};
constexpr InternalHooks kHooks = ServiceHooks<TempIo, false>();
const PropertyRow kProperties[] = {
    ServiceProperty<TempIo>(PROP_ACCESS_MODE),
    ServiceProperty<TempIo>(PROP_OPEN_MODE),
    ServiceProperty<TempIo>(PROP_TEMP_MEMORY_LIMIT),
    ServiceProperty<TempIo>(PROP_OBJECT_SIZE),
};

}  // namespace

ResultCode RegisterTempIoService(ObjectRef root) {
  return RegisterService(root, IID_BLOCK_IO, PID_TEMP_IO, kHooks, &kMethods, 5, kProperties,
                         std::size(kProperties), sizeof(ServiceRecord<TempIo>));
}

}  // namespace arjrt
