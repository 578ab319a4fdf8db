#include "runtime/services/fd_transfer.h"

#include <sys/types.h>
#include <unistd.h>

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
