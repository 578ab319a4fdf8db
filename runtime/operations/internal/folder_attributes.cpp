#include "runtime/operations/internal/folder_attributes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace arjhost {

void FolderAttributes::Apply(const DirectoryWalk& walk, const FailureSink& failed) {
  std::stable_sort(folders_.begin(), folders_.end(), [](const Folder& a, const Folder& b) {
    return a.components.size() > b.components.size();
  });
  for (const Folder& f : folders_) {
    std::string why;
    const int fd = walk.Open(f.components, f.components.size(), &why, false);
    if (fd < 0) {
      failed(f, why);
      continue;
    }
    if (f.set_mode && fchmod(fd, f.mode) != 0) why = std::string("cannot set the folder's mode: ") + std::strerror(errno);
    const timespec times[2] = {{static_cast<time_t>(f.time), 0}, {static_cast<time_t>(f.time), 0}};
    if (why.empty() && f.set_time && futimens(fd, times) != 0)
      why = std::string("cannot set the folder's time: ") + std::strerror(errno);
    close(fd);
    if (!why.empty()) failed(f, why);
  }
  folders_.clear();
}

}  // namespace arjhost
