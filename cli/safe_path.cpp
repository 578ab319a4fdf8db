#include "cli/safe_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace cli {

bool SplitEntryPath(const std::string& stored, std::vector<std::string>* components, std::string* why) {
  components->clear();
  if (stored.empty()) {
    *why = "empty name";
    return false;
  }
  if (stored[0] == '/' || stored[0] == '\\') {
    *why = "absolute name refused";
    return false;
  }
  if (stored.size() >= 2 && stored[1] == ':') {
    *why = "drive letter refused";
    return false;
  }
  std::string part;
  for (size_t i = 0; i <= stored.size(); ++i) {
    char c = i < stored.size() ? stored[i] : '/';
    if (c != '/' && c != '\\') {
      part += c;
      continue;
    }
    if (part == "..") {
      *why = "\"..\" in the name refused";
      return false;
    }
    if (!part.empty() && part != ".") components->push_back(part);
    part.clear();
  }
  if (components->empty()) {
    *why = "empty name";
    return false;
  }
  return true;
}

int DirectoryWalk::Open(const std::vector<std::string>& components, size_t count, std::string* why) const {
  int fd = dup(root_fd_);
  for (size_t i = 0; i < count && fd >= 0; ++i) {
    const char* name = components[i].c_str();
    int next = openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT) {
      if (mkdirat(fd, name, 0755) != 0 && errno != EEXIST) {
        *why = "cannot create folder " + components[i] + ": " + std::strerror(errno);
        close(fd);
        return -1;
      }
      next = openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (next < 0) {
      *why = errno == ELOOP || errno == ENOTDIR
                 ? "path leads through " + components[i] + ", which is not a folder (or is a symbolic link)"
                 : "cannot open folder " + components[i] + ": " + std::strerror(errno);
      close(fd);
      return -1;
    }
    close(fd);
    fd = next;
  }
  if (fd < 0) *why = std::string("cannot open the extraction folder: ") + std::strerror(errno);
  return fd;
}

}  // namespace cli
