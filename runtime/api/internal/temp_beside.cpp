#include "runtime/api/internal/temp_beside.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "runtime/services/pending_files.h"

namespace arjhost {
namespace {

constexpr mode_t kPermissionBits = 0777;

mode_t CurrentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// The folder a path lies in, for syncing the rename.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// fsync of what `path` names; 0 or the errno.
int SyncPath(const std::string& path, int flags) {
  int fd;
  do fd = ::open(path.c_str(), flags | O_RDONLY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno;
  const int error = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return error;
}

}  // namespace

TempBeside::~TempBeside() {
  if (!path_.empty() && !committed_) ::unlink(path_.c_str());
  arjrt::ForgetPendingFile(pending_slot_);
}

bool TempBeside::Create(std::string* error) {
  std::string pattern = destination_ + ".tmp-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  // The file is registered for removal before a signal can end us with it
  // made and unknown: those signals wait until both are done.
  int fd, made_error;
  {
    const arjrt::EndingSignalsHeld held;
    fd = ::mkstemp(name.data());
    made_error = errno;
    if (fd >= 0) pending_slot_ = arjrt::AddPendingFile(AT_FDCWD, name.data());
  }
  if (fd < 0) {
    if (error) *error = destination_ + ": cannot create a temporary file beside it: " + std::strerror(made_error);
    return false;
  }
  path_ = name.data();
  struct stat st;
  const bool regular = ::lstat(destination_.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  ::fchmod(fd, regular ? (st.st_mode & kPermissionBits) : (0666 & ~CurrentUmask()));
  ::close(fd);
  return true;
}

bool TempBeside::Sync(std::string* error) const {
  if (const int e = SyncFile(path_); e != 0) {
    *error = destination_ + ": not written: the new archive cannot be put on disk: " + std::strerror(e);
    return false;
  }
  return true;
}

bool TempBeside::Place(std::string* error, bool may_replace) {
  const int e = may_replace ? (::rename(path_.c_str(), destination_.c_str()) == 0 ? 0 : errno)
                            : RenameNoReplace(path_, destination_);
  if (e != 0) {
    *error = destination_ + (e == EEXIST ? ": not written: a file of that name appeared meanwhile"
                                         : ": cannot be replaced: " + std::string(std::strerror(e)));
    return false;
  }
  Placed();
  return true;
}

void TempBeside::Placed() {
  committed_ = true;
  arjrt::ForgetPendingFile(pending_slot_);
  pending_slot_ = -1;
}

bool TempBeside::Commit(std::string* error, bool may_replace) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  if (!Sync(error)) return false;
  // A signal waits until the new archive is in place and known to be, or
  // the old one still is.
  return arjrt::MakeTheChange([&] {
    if (!Place(error, may_replace)) return false;
    // The new archive is in place whatever this says: a folder that does
    // not sync leaves only the rename less sure to outlive a crash.
    SyncFolderOf(destination_);
    return true;
  });
}

void SyncFolderOf(const std::string& path) { SyncPath(FolderOf(path), O_DIRECTORY); }

int SyncFile(const std::string& path) { return SyncPath(path, 0); }

int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without the flag: a link fails on a name that exists.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  ::unlink(from.c_str());
  return 0;
}

}  // namespace arjhost
