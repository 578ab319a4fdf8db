#include "runtime/services/anonymous_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace arjrt {

int OpenAnonymousFile() {
  const char* dir = std::getenv("TMPDIR");
  if (dir == nullptr || dir[0] == '\0') dir = "/tmp";
  int fd;
  do fd = ::open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  while (fd < 0 && errno == EINTR);
  if (fd >= 0) return fd;
  // Older kernels and some file systems lack O_TMPFILE.
  char path[4096];
  const int n = std::snprintf(path, sizeof path, "%s/arjhost-temp-XXXXXX", dir);
  if (n < 0 || static_cast<size_t>(n) >= sizeof path) {
    errno = ENAMETOOLONG;
    return -1;
  }
  fd = ::mkostemp(path, O_CLOEXEC);
  if (fd < 0) return -1;
  ::unlink(path);
  return fd;
}

}  // namespace arjrt
