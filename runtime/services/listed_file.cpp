#include "runtime/services/listed_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "runtime/services/fd_transfer.h"

namespace arjrt {

int LookAtListedFile(const ListedFile& file, struct stat* st) {
  const int r = file.follow_link ? ::stat(file.path.c_str(), st) : ::lstat(file.path.c_str(), st);
  return r == 0 ? 0 : errno;
}

bool IsListedFile(const ListedFile& file, const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return false;
  return !file.known() || (static_cast<uint64_t>(st.st_dev) == file.device && static_cast<uint64_t>(st.st_ino) == file.inode);
}

ResultCode OpenListedFile(const ListedFile& file, int* fd, struct stat* st) {
  *fd = -1;
  struct stat seen;
  if (const int error = LookAtListedFile(file, &seen); error != 0) return OpenFailure(error);
  // Not a file at all is a change only when a file was listed.
  const ResultCode other = file.known() ? ERR_CONTENT_REPLACED : ERR_UNSUPPORTED;
  if (!IsListedFile(file, seen)) return other;
  // Non-blocking: a FIFO swapped in after the look must not hold the open.
  const int flags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (file.follow_link ? 0 : O_NOFOLLOW);
  int opened;
  do opened = ::open(file.path.c_str(), flags);
  while (opened < 0 && errno == EINTR);
  if (opened < 0) return errno == ELOOP && !file.follow_link ? other : OpenFailure(errno);
  struct stat now;
  if (::fstat(opened, &now) != 0) {
    const int error = errno;
    ::close(opened);
    return OpenFailure(error);
  }
  // What is open must be what was looked at: a swap in between is refused too.
  if (now.st_dev != seen.st_dev || now.st_ino != seen.st_ino || !IsListedFile(file, now)) {
    ::close(opened);
    return ERR_CONTENT_REPLACED;
  }
  *st = now;
  ::fcntl(opened, F_SETFL, ::fcntl(opened, F_GETFL) & ~O_NONBLOCK);
  *fd = opened;
  return RESULT_OK;
}

}  // namespace arjrt
