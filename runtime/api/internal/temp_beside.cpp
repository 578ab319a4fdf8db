#include "runtime/api/internal/temp_beside.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace arjhost {
namespace {

mode_t CurrentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

}  // namespace

TempBeside::~TempBeside() {
  if (!path_.empty() && !committed_) ::unlink(path_.c_str());
}

bool TempBeside::Create(std::string* error) {
  std::string pattern = destination_ + ".tmp-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    if (error) *error = destination_ + ": cannot create a temporary file beside it: " + std::strerror(errno);
    return false;
  }
  path_ = name.data();
  struct stat st;
  const mode_t mode = ::stat(destination_.c_str(), &st) == 0 ? (st.st_mode & 07777) : (0666 & ~CurrentUmask());
  ::fchmod(fd, mode);
  ::close(fd);
  return true;
}

bool TempBeside::Commit(std::string* error) {
  if (::rename(path_.c_str(), destination_.c_str()) != 0) {
    if (error) *error = destination_ + ": cannot be replaced: " + std::strerror(errno);
    return false;
  }
  committed_ = true;
  return true;
}

}  // namespace arjhost
