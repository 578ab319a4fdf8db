// IID_BLOCK_IO over a file of the host's file system, positioned reads and
// writes at 64-bit offsets.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <iterator>
#include <string>

#include "runtime/services/fd_transfer.h"
#include "runtime/services/native_file_io.h"
#include "runtime/services/native_path.h"
#include "runtime/services/service_support.h"
#include "runtime/services/services.h"

namespace arjrt {
namespace {

constexpr uint64_t kMaxOffset = static_cast<uint64_t>(INT64_MAX);

[[nodiscard]] ResultCode TransferError(int error) { return error == EBADF ? ERR_ACCESS_DENIED : ERR_IO; }

class NativeFile {
 public:
  explicit NativeFile(ObjectRef) {}
  ~NativeFile() { CloseFile(); }

  [[nodiscard]] ResultCode Finish() {
    if (fd_ >= 0 && opened_path_ == path_ && opened_access_ == access_ && opened_open_ == open_) return RESULT_OK;
    CloseFile();
    if (path_.empty() || (access_ & (ACCESS_READ | ACCESS_WRITE)) == 0 ||
        (open_ & (OPEN_EXISTING | OPEN_CREATE)) == 0)
      return ERR_BAD_PARAMETER;
    const bool write = (access_ & ACCESS_WRITE) != 0;
    if ((open_ & OPEN_TRUNCATE) != 0 && !write) return ERR_BAD_PARAMETER;
    int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;  // no blocking open of a FIFO
    flags |= write ? ((access_ & ACCESS_READ) != 0 ? O_RDWR : O_WRONLY) : O_RDONLY;
    if ((open_ & OPEN_CREATE) != 0) flags |= O_CREAT;
    if ((open_ & OPEN_EXISTING) == 0) flags |= O_EXCL;
    if ((open_ & OPEN_TRUNCATE) != 0) flags |= O_TRUNC;
    int fd;
    do fd = ::open(path_.c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return OpenFailure(errno);
    struct stat st;
    if (::fstat(fd, &st) != 0) {
      ::close(fd);
      return ERR_IO;
    }
    if (!S_ISREG(st.st_mode)) {  // directories, devices, pipes have no size to work with
      ::close(fd);
      return ERR_UNSUPPORTED;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fd_ = fd;
    opened_path_ = path_;
    opened_access_ = access_;
    opened_open_ = open_;
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode SeekRead(uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
    if (count != nullptr) *count = 0;
    if (fd_ < 0) return ERR_NOT_INITIALIZED;
    if (size == 0) return RESULT_OK;
    if (buffer == nullptr) return ERR_BAD_PARAMETER;
    if ((opened_access_ & ACCESS_READ) == 0) return ERR_ACCESS_DENIED;
    // Nothing lies beyond the largest offset the system can address.
    const uint64_t room = offset < kMaxOffset ? kMaxOffset - offset : 0;
    const uint32_t wanted = room < size ? static_cast<uint32_t>(room) : size;
    uint32_t done = 0;
    const int error = ReadFullyAt(fd_, offset, buffer, wanted, &done);
    if (count != nullptr) *count = done;
    return error != 0 ? Failure(error) : ReadOutcome(done, size);
  }

  [[nodiscard]] ResultCode SeekWrite(uint32_t* count, uint64_t offset, const void* buffer, uint32_t size) {
    if (count != nullptr) *count = 0;
    if (fd_ < 0) return ERR_NOT_INITIALIZED;
    if (size == 0) return RESULT_OK;
    if (buffer == nullptr || offset > kMaxOffset - size) return ERR_BAD_PARAMETER;
    if ((opened_access_ & ACCESS_WRITE) == 0) return ERR_ACCESS_DENIED;
    uint32_t done = 0;
    const int error = WriteFullyAt(fd_, offset, buffer, size, &done);
    if (count != nullptr) *count = done;
    return error != 0 ? Failure(error) : RESULT_OK;
  }

  // CopyNativeFileRange's copy from `source` into this file.
  [[nodiscard]] ResultCode CopyFrom(const NativeFile& source, uint64_t from_offset, uint64_t to_offset, uint64_t size,
                                    uint64_t* copied) const {
    if (source.fd_ < 0 || fd_ < 0 || (source.opened_access_ & ACCESS_READ) == 0 ||
        (opened_access_ & ACCESS_WRITE) == 0 || size > kMaxOffset || from_offset > kMaxOffset - size || to_offset > kMaxOffset - size)
      return ERR_UNSUPPORTED;
    const int error = CopyFileRangeAt(source.fd_, from_offset, fd_, to_offset, size, copied);
    return error == 0 && *copied == size ? RESULT_OK : ERR_UNSUPPORTED;
  }

  [[nodiscard]] ResultCode GetSize(uint64_t* size) const {
    if (size == nullptr) return ERR_BAD_PARAMETER;
    *size = 0;
    if (fd_ < 0) return ERR_NOT_INITIALIZED;
    struct stat st;
    if (::fstat(fd_, &st) != 0) return ERR_IO;
    *size = static_cast<uint64_t>(st.st_size);
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode SetSize(uint64_t size) {
    if (fd_ < 0) return ERR_NOT_INITIALIZED;
    if (size > kMaxOffset) return ERR_BAD_PARAMETER;
    if ((opened_access_ & ACCESS_WRITE) == 0) return ERR_ACCESS_DENIED;
    int r;
    do r = ::ftruncate(fd_, static_cast<off_t>(size));
    while (r != 0 && errno == EINTR);
    if (r == 0) return RESULT_OK;
    last_error_ = static_cast<uint32_t>(errno);
    return errno == EPERM || errno == EACCES ? ERR_ACCESS_DENIED : ERR_IO;
  }

  [[nodiscard]] ResultCode Flush() { return fd_ >= 0 ? RESULT_OK : ERR_NOT_INITIALIZED; }

  [[nodiscard]] ResultCode GetProperty(PropId id, void* buffer, uint32_t size, uint32_t* length) {
    switch (id) {
      case PROP_OBJECT_NAME:
        return StringPropertyOut(BaseName(path_), buffer, size, length);
      case PROP_OBJECT_PATH:
        return StringPropertyOut(path_, buffer, size, length);
      case PROP_OPEN_MODE:
        return PropertyOut(&open_, sizeof open_, buffer, size, length);
      case PROP_ACCESS_MODE:
        return PropertyOut(&access_, sizeof access_, buffer, size, length);
      case PROP_IO_ORIGIN:
        return PropertyOut(&IO_ORIGIN_NATIVE_FILE, sizeof IO_ORIGIN_NATIVE_FILE, buffer, size, length);
      case PROP_OS_ERROR:
        return PropertyOut(&last_error_, sizeof last_error_, buffer, size, length);
      case PROP_OBJECT_SIZE: {
        uint64_t file_size = 0;
        ResultCode result = GetSize(&file_size);
        if (Failed(result)) return result;
        return PropertyOut(&file_size, sizeof file_size, buffer, size, length);
      }
      default:
        return ERR_PROPERTY_UNAVAILABLE;
    }
  }

  [[nodiscard]] ResultCode SetProperty(PropId id, const void* buffer, uint32_t size) {
    switch (id) {
      case PROP_OBJECT_PATH:
        return StringPropertyIn(buffer, size, &path_);
      case PROP_OPEN_MODE:
        open_ = static_cast<uint32_t>(PropertyIn(buffer, size));
        return RESULT_OK;
      case PROP_ACCESS_MODE:
        access_ = static_cast<uint32_t>(PropertyIn(buffer, size));
        return RESULT_OK;
      default:
        return ERR_ACCESS_DENIED;
    }
  }

 private:
  [[nodiscard]] ResultCode Failure(int error) {
    last_error_ = static_cast<uint32_t>(error);
    return TransferError(error);
  }

  void CloseFile() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  std::string path_;
  uint32_t access_ = ACCESS_READ;
  uint32_t open_ = OPEN_EXISTING;
  int fd_ = -1;
  uint32_t last_error_ = 0;  // PROP_OS_ERROR
  // What the open file was opened with; properties set later take effect
  // at the next Finish.
  std::string opened_path_;
  uint32_t opened_access_ = 0;
  uint32_t opened_open_ = 0;
};

[[nodiscard]] ResultCode SeekRead(ObjectRef self, uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
  return ImplOf<NativeFile>(self).SeekRead(count, offset, buffer, size);
}
[[nodiscard]] ResultCode GetSize(ObjectRef self, uint64_t* size, uint32_t) {
  return ImplOf<NativeFile>(self).GetSize(size);
}
[[nodiscard]] ResultCode SeekWrite(ObjectRef self, uint32_t* count, uint64_t offset, const void* buffer,
                                   uint32_t size) {
  return ImplOf<NativeFile>(self).SeekWrite(count, offset, buffer, size);
}
[[nodiscard]] ResultCode SetSize(ObjectRef self, uint64_t size) { return ImplOf<NativeFile>(self).SetSize(size); }
[[nodiscard]] ResultCode Flush(ObjectRef self) { return ImplOf<NativeFile>(self).Flush(); }

const BlockIoMethods kMethods = {SeekRead, GetSize, SeekWrite, SetSize, Flush};
constexpr InternalHooks kHooks = ServiceHooks<NativeFile>();
const PropertyRow kProperties[] = {
    ServiceProperty<NativeFile>(PROP_OBJECT_NAME), ServiceProperty<NativeFile>(PROP_OBJECT_PATH),
    ServiceProperty<NativeFile>(PROP_OPEN_MODE),   ServiceProperty<NativeFile>(PROP_ACCESS_MODE),
    ServiceProperty<NativeFile>(PROP_IO_ORIGIN),   ServiceProperty<NativeFile>(PROP_OBJECT_SIZE),
    ServiceProperty<NativeFile>(PROP_OS_ERROR),
};

}  // namespace

ResultCode CopyNativeFileRange(ObjectRef from, uint64_t from_offset, ObjectRef to, uint64_t to_offset, uint64_t size,
                               uint64_t* copied) {
  *copied = 0;
  if (from == nullptr || to == nullptr || from->methods != &kMethods || to->methods != &kMethods)
    return ERR_UNSUPPORTED;
  return ImplOf<NativeFile>(to).CopyFrom(ImplOf<NativeFile>(from), from_offset, to_offset, size, copied);
}

ResultCode RegisterNativeFileIoService(ObjectRef root) {
  return RegisterService(root, IID_BLOCK_IO, PID_NATIVE_FILE_IO, kHooks, &kMethods, 5, kProperties,
                         std::size(kProperties), sizeof(ServiceRecord<NativeFile>));
}

}  // namespace arjrt
