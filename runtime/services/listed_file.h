// A file listed as new content of an archive (by a walk of the user's
// folders, or when a rebuild starts) and opened later to be read: what is
// read must be the file listed, not whatever stands at its path by then (a
// symbolic link to another file, a FIFO that would block, a device).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "plugin/host/host_types.h"

namespace arjrt {

struct ListedFile {
  std::string path;
  // st_dev and st_ino of the file listed; both 0 when not known.
  uint64_t device = 0;
  uint64_t inode = 0;
  // A symbolic link at the path is read where it points (as for a file
  // named on the command line); else it is refused.
  bool follow_link = true;

  bool known() const { return device != 0 || inode != 0; }
};

// What stands at the path now, looked at as the listing looks (stat, or
// lstat without follow_link). 0 or the errno.
int LookAtListedFile(const ListedFile& file, struct stat* st);

// Whether `st` is of a regular file that is the one listed (any, when the
// listing is not known).
bool IsListedFile(const ListedFile& file, const struct stat& st);

// Opens the listed file read-only into *fd, with what it is in *st. It is
// looked at first, so that a FIFO or device put in its place is refused
// unopened; the open itself never waits nor follows a link the listing did
// not follow. ERR_CONTENT_REPLACED when something else stands there (when
// nothing was listed: ERR_UNSUPPORTED for what is not a regular file),
// else the open's failure (OpenFailure).
[[nodiscard]] ResultCode OpenListedFile(const ListedFile& file, int* fd, struct stat* st);

}  // namespace arjrt
