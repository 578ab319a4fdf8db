// IID_BLOCK_IO: scratch storage for an extracted entry. Small entries stay
// in memory, in chunks the runtime keeps for the next entry; once the
// content would pass the memory limit it moves to a file and stays there,
// so an entry of gigabytes costs disk, not memory. That file is the
// destination the request lent (a Delivery on the object the I/O is made
// on), else an unnamed temporary file. When the request lent a
// pass-through receiver, the bytes go there as they are written and none
// are kept.
#include "runtime/services/temp_io.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "runtime/core/runtime.h"
#include "runtime/services/anonymous_file.h"
#include "runtime/services/fd_transfer.h"
#include "runtime/services/service_support.h"
#include "runtime/services/services.h"

namespace arjrt {
namespace {

constexpr uint64_t kMaxOffset = static_cast<uint64_t>(INT64_MAX);
constexpr uint64_t kChunk = ScratchStorage::kChunkBytes;

class TempIo {
 public:
  explicit TempIo(ObjectRef self)
      : scratch_(AsRt(self)->runtime->scratch()),
        delivery_(scratch_.LentOn(AsRt(self)->parent)),
        pass_(delivery_ != nullptr ? delivery_->ClaimPassThrough() : nullptr),
        limit_(AsRt(self)->runtime->limits().extract_memory) {}
  ~TempIo() {
    if (pass_ != nullptr) delivery_->ReleasePassThrough();
    ReleaseChunks();
    if (fd_ < 0) return;
    if (in_target_) delivery_->ReleaseSpillTarget();
    else ::close(fd_);
  }

  [[nodiscard]] ResultCode SeekRead(uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
    if (count != nullptr) *count = 0;
    if (size == 0) return RESULT_OK;
    if (buffer == nullptr) return ERR_BAD_PARAMETER;
    if (pass_ != nullptr) return ERR_UNSUPPORTED;  // nothing is kept to read
    const uint64_t total = Size();
    const uint32_t wanted = offset < total ? static_cast<uint32_t>(std::min<uint64_t>(size, total - offset)) : 0;
    uint32_t done = 0;
    if (!InFile()) {
      CopyOut(offset, static_cast<uint8_t*>(buffer), wanted);
      done = wanted;
    } else if (wanted != 0 && ReadFullyAt(fd_, offset, buffer, wanted, &done) != 0) {
      if (count != nullptr) *count = done;
      return ERR_IO;
    }
    if (count != nullptr) *count = done;
    return ReadOutcome(done, size);
  }

  [[nodiscard]] ResultCode SeekWrite(uint32_t* count, uint64_t offset, const void* buffer, uint32_t size) {
    if (count != nullptr) *count = 0;
    if (size == 0) return RESULT_OK;
    if (buffer == nullptr || offset > kMaxOffset - size) return ERR_BAD_PARAMETER;
    const uint64_t end = offset + size;
    if (pass_ != nullptr) {
      // Decoders write in order; anything else would need the bytes kept.
      if (offset != memory_size_) return ERR_UNSUPPORTED;
      if (!pass_->Take(static_cast<const uint8_t*>(buffer), size)) return ERR_CANCELLED;
      memory_size_ = end;
      if (count != nullptr) *count = size;
      return RESULT_OK;
    }
    if (!InFile()) {
      ResultCode result = GrowInMemory(end, offset);
      if (Failed(result)) return result;
      if (!InFile()) {
        CopyIn(offset, static_cast<const uint8_t*>(buffer), size);
        if (count != nullptr) *count = size;
        return RESULT_OK;
      }
    }
    uint32_t done = 0;
    const int error = WriteFullyAt(fd_, offset, buffer, size, &done);
    if (done != 0) file_size_ = std::max(file_size_, offset + done);
    if (count != nullptr) *count = done;
    if (error != 0) NoteWriteFailure(error, in_target_);
    return error != 0 ? ERR_IO : RESULT_OK;
  }

  [[nodiscard]] ResultCode GetSize(uint64_t* size) const {
    if (size == nullptr) return ERR_BAD_PARAMETER;
    *size = Size();
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode SetSize(uint64_t size) {
    if (size > kMaxOffset) return ERR_BAD_PARAMETER;
    if (pass_ != nullptr) return size == memory_size_ ? RESULT_OK : ERR_UNSUPPORTED;
    if (!InFile()) {
      if (size <= memory_size_) {
        memory_size_ = size;
        return RESULT_OK;
      }
      ResultCode result = GrowInMemory(size, size);
      if (Failed(result) || !InFile()) return result;
    }
    int r;
    do r = ::ftruncate(fd_, static_cast<off_t>(size));
    while (r != 0 && errno == EINTR);
    if (r != 0) {
      NoteWriteFailure(errno, in_target_);
      return ERR_IO;
    }
    file_size_ = size;
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode GetProperty(PropId id, void* buffer, uint32_t size, uint32_t* length) {
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

  [[nodiscard]] ResultCode SetProperty(PropId id, const void* buffer, uint32_t size) {
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

  bool MemorySpan(uint64_t offset, const uint8_t** data, size_t* size) const {
    if (InFile() || pass_ != nullptr) return false;
    *data = nullptr;
    *size = 0;
    if (offset >= memory_size_) return true;
    const uint64_t in_chunk = offset % kChunk;
    *data = chunks_[offset / kChunk].get() + in_chunk;
    *size = static_cast<size_t>(std::min(kChunk - in_chunk, memory_size_ - offset));
    return true;
  }

  bool InSpillTarget() const { return InFile() && in_target_; }

 private:
  bool InFile() const { return fd_ >= 0; }
  uint64_t Size() const { return InFile() ? file_size_ : memory_size_; }

  // Calls f(chunk pointer, length) over [offset, offset + size) of the
  // memory content, which the chunks must cover.
  template <class F>
  void ForEachPiece(uint64_t offset, uint64_t size, F f) const {
    while (size != 0) {
      const uint64_t in_chunk = offset % kChunk;
      const uint64_t n = std::min(size, kChunk - in_chunk);
      f(chunks_[offset / kChunk].get() + in_chunk, static_cast<size_t>(n));
      offset += n;
      size -= n;
    }
  }
  void CopyOut(uint64_t offset, uint8_t* out, uint32_t size) const {
    ForEachPiece(offset, size, [&out](const uint8_t* p, size_t n) {
      std::memcpy(out, p, n);
      out += n;
    });
  }
  void CopyIn(uint64_t offset, const uint8_t* in, uint32_t size) {
    ForEachPiece(offset, size, [&in](uint8_t* p, size_t n) {
      std::memcpy(p, in, n);
      in += n;
    });
  }

  // Makes the memory content `size` bytes long when it is shorter, with
  // zeros from the old end up to `data_at` (where the caller's bytes go),
  // or moves it to a file when that would pass the limit or memory runs out.
  [[nodiscard]] ResultCode GrowInMemory(uint64_t size, uint64_t data_at) {
    if (size <= memory_size_) return RESULT_OK;
    if (size > limit_) return MoveToFile();
    const uint64_t chunks_needed = (size + kChunk - 1) / kChunk;
    try {
      while (chunks_.size() < chunks_needed) {
        std::unique_ptr<uint8_t[]> chunk = scratch_.TakeChunk();
        if (chunk == nullptr) return MoveToFile();
        chunks_.push_back(std::move(chunk));
      }
    } catch (const std::bad_alloc&) {
      return MoveToFile();
    }
    const uint64_t zero_end = std::min(data_at, size);
    if (zero_end > memory_size_)
      ForEachPiece(memory_size_, zero_end - memory_size_, [](uint8_t* p, size_t n) { std::memset(p, 0, n); });
    memory_size_ = size;
    return RESULT_OK;
  }

  // Writes the memory content to the spill target or a new anonymous file.
  // On failure the content stays in memory, whole, and the caller's write fails.
  [[nodiscard]] ResultCode MoveToFile() {
    int fd = delivery_ != nullptr ? delivery_->ClaimSpillTarget() : -1;
    const bool target = fd >= 0;
    if (target && ::ftruncate(fd, 0) != 0) {
      delivery_->ReleaseSpillTarget();
      fd = -1;
    }
    const bool in_target = fd >= 0;
    if (!in_target) fd = OpenAnonymousFile();
    if (fd < 0) {
      NoteWriteFailure(errno, false);
      return ERR_IO;
    }
    int error = 0;
    uint64_t at = 0;
    ForEachPiece(0, memory_size_, [&](const uint8_t* p, size_t n) {
      uint32_t done = 0;
      if (error == 0) error = WriteFullyAt(fd, at, p, static_cast<uint32_t>(n), &done);
      at += n;
    });
    if (error != 0) {
      NoteWriteFailure(error, in_target);
      if (in_target) delivery_->ReleaseSpillTarget();
      else ::close(fd);
      return ERR_IO;
    }
    fd_ = fd;
    in_target_ = in_target;
    file_size_ = memory_size_;
    memory_size_ = 0;
    ReleaseChunks();
    return RESULT_OK;
  }

  void NoteWriteFailure(int error, bool in_target) {
    if (delivery_ != nullptr) delivery_->NoteWriteFailure(error, in_target);
  }

  void ReleaseChunks() {
    for (auto& chunk : chunks_) scratch_.GiveChunk(std::move(chunk));
    chunks_.clear();
  }

  ScratchStorage& scratch_;
  Delivery* delivery_;  // what the request lent, or null
  PassThrough* pass_;  // when set, memory_size_ counts the bytes passed on
  std::vector<std::unique_ptr<uint8_t[]>> chunks_;
  uint64_t memory_size_ = 0;
  int fd_ = -1;
  bool in_target_ = false;  // fd_ is the spill target, which is not ours to close
  uint64_t file_size_ = 0;
  uint64_t limit_;  // the runtime's extraction memory bound, unless set
  uint32_t access_ = 0;
  uint32_t open_ = 0;
};

[[nodiscard]] ResultCode SeekRead(ObjectRef self, uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
  return ImplOf<TempIo>(self).SeekRead(count, offset, buffer, size);
}
[[nodiscard]] ResultCode GetSize(ObjectRef self, uint64_t* size, uint32_t) {
  return ImplOf<TempIo>(self).GetSize(size);
}
[[nodiscard]] ResultCode SeekWrite(ObjectRef self, uint32_t* count, uint64_t offset, const void* buffer,
                                   uint32_t size) {
  return ImplOf<TempIo>(self).SeekWrite(count, offset, buffer, size);
}
[[nodiscard]] ResultCode SetSize(ObjectRef self, uint64_t size) { return ImplOf<TempIo>(self).SetSize(size); }
// Writes reach the memory or the file at once; scratch data needs no sync.
[[nodiscard]] ResultCode Flush(ObjectRef) { return RESULT_OK; }

const BlockIoMethods kMethods = {SeekRead, GetSize, SeekWrite, SetSize, Flush};
constexpr InternalHooks kHooks = ServiceHooks<TempIo, false>();
const PropertyRow kProperties[] = {
    ServiceProperty<TempIo>(PROP_ACCESS_MODE),
    ServiceProperty<TempIo>(PROP_OPEN_MODE),
    ServiceProperty<TempIo>(PROP_TEMP_MEMORY_LIMIT),
    ServiceProperty<TempIo>(PROP_OBJECT_SIZE),
};

// The temporary I/O behind `io`, if it is one of ours and set up.
const TempIo* AsTempIo(ObjectRef io) {
  if (io == nullptr || io->methods != &kMethods || io->instance == nullptr) return nullptr;
  return static_cast<ServiceRecord<TempIo>*>(io->instance)->impl;
}

}  // namespace

bool TempIoMemorySpan(ObjectRef io, uint64_t offset, const uint8_t** data, size_t* size) {
  const TempIo* temp = AsTempIo(io);
  return temp != nullptr && temp->MemorySpan(offset, data, size);
}

bool TempIoInSpillTarget(ObjectRef io) {
  const TempIo* temp = AsTempIo(io);
  return temp != nullptr && temp->InSpillTarget();
}

ResultCode RegisterTempIoService(ObjectRef root) {
  return RegisterService(root, IID_BLOCK_IO, PID_TEMP_IO, kHooks, &kMethods, 5, kProperties,
                         std::size(kProperties), sizeof(ServiceRecord<TempIo>));
}

}  // namespace arjrt
