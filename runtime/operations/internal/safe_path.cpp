#include "runtime/operations/internal/safe_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace arjhost {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// The length of a leading drive letter and separators: what makes a name
// absolute on DOS or UNIX.
size_t AbsolutePrefix(const std::string& name) {
  size_t at = 0;
  const bool letter = name.size() >= 2 && ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'));
  if (letter && name[1] == ':') at = 2;
  while (at < name.size() && IsSeparator(name[at])) ++at;
  return at;
}

}  // namespace

bool SplitEntryPath(const std::string& name, std::vector<std::string>* components, std::string* removed,
                    std::string* why) {
  components->clear();
  const size_t prefix = AbsolutePrefix(name);
  *removed = name.substr(0, prefix);
  const std::string stored = name.substr(prefix);
  std::string part;
  for (size_t i = 0; i <= stored.size(); ++i) {
    char c = i < stored.size() ? stored[i] : '/';
    if (!IsSeparator(c)) {
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

std::string JoinedPath(const std::vector<std::string>& components, size_t count) {
  std::string path;
  for (size_t i = 0; i < count && i < components.size(); ++i) path += (i == 0 ? "" : "/") + components[i];
  return path;
}

int DirectoryWalk::Open(const std::vector<std::string>& components, size_t count, std::string* why,
                        bool create) const {
  int fd = dup(root_fd_);
  for (size_t i = 0; i < count && fd >= 0; ++i) {
    const char* name = components[i].c_str();
    int next = openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0 && errno == ENOENT && create) {
      if (mkdirat(fd, name, 0777) == 0) {
        if (made_ != nullptr) made_->insert(JoinedPath(components, i + 1));
      } else if (errno != EEXIST) {
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

}  // namespace arjhost
