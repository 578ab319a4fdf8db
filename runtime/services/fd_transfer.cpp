#include "runtime/services/fd_transfer.h"

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace arjrt {

int ReadFullyAt(int fd, uint64_t offset, void* buffer, uint32_t size, uint32_t* done) {
  *done = 0;
  while (*done < size) {
    const ssize_t n =
        ::pread(fd, static_cast<uint8_t*>(buffer) + *done, size - *done, static_cast<off_t>(offset + *done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) break;
    *done += static_cast<uint32_t>(n);
  }
  return 0;
}

int WriteFullyAt(int fd, uint64_t offset, const void* buffer, uint32_t size, uint32_t* done) {
  *done = 0;
  while (*done < size) {
    const ssize_t n = ::pwrite(fd, static_cast<const uint8_t*>(buffer) + *done, size - *done,
                               static_cast<off_t>(offset + *done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    *done += static_cast<uint32_t>(n);
  }
  return 0;
}

int CopyFileRangeAt(int from, uint64_t from_offset, int to, uint64_t to_offset, uint64_t size, uint64_t* done) {
  *done = 0;
#ifdef __linux__
  // One call moves at most about 2 GiB; the loop takes what it moved.
  constexpr uint64_t kMostAtOnce = uint64_t{1} << 30;
  while (*done < size) {
    auto in = static_cast<off_t>(from_offset + *done);
    auto out = static_cast<off_t>(to_offset + *done);
    const ssize_t n = ::copy_file_range(from, &in, to, &out, std::min(size - *done, kMostAtOnce), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) break;
    *done += static_cast<uint64_t>(n);
  }
  return 0;
#else
  (void)from, (void)from_offset, (void)to, (void)to_offset, (void)size;
  return ENOSYS;
#endif
}

ResultCode OpenFailure(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return ERR_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
      return ERR_ACCESS_DENIED;
    case EISDIR:
      return ERR_UNSUPPORTED;
    case EMFILE:
    case ENFILE:
      return ERR_TOO_MANY_OPEN_FILES;
    default:
      return ERR_IO;
  }
}

}  // namespace arjrt
