#include "runtime/operations/internal/link_entries.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace arjhost {

bool SymbolicLinkStaysInside(const std::string& target, size_t depth, std::string* why) {
  if (target.empty() || target[0] == '/') {
    *why = target.empty() ? "its target is empty" : "it is absolute";
    return false;
  }
  size_t climbs = 0;
  bool descended = false;
  for (size_t start = 0; start <= target.size();) {
    size_t end = target.find('/', start);
    if (end == std::string::npos) end = target.size();
    const std::string part = target.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part != "..") {
      descended = true;
      continue;
    }
    // After a name, ".." climbs out of whatever that name resolves to,
    // which may itself be a link.
    if (descended) {
      *why = "\"..\" follows a name in it";
      return false;
    }
    if (++climbs > depth) {
      *why = "it leads out of the extraction folder";
      return false;
    }
  }
  return true;
}

std::string MakeSymbolicLink(const EntryPlacement& place, const std::string& target, int64_t time) {
  if (symlinkat(target.c_str(), place.dir(), place.temp().c_str()) != 0)
    return std::string("cannot make the symbolic link: ") + std::strerror(errno);
  const timespec times[2] = {{static_cast<time_t>(time), 0}, {static_cast<time_t>(time), 0}};
  utimensat(place.dir(), place.temp().c_str(), times, AT_SYMLINK_NOFOLLOW);
  return {};
}

std::string MakeHardLink(const DirectoryWalk& walk, const std::vector<std::string>& target,
                         const WrittenFiles& written, const EntryPlacement& place) {
  std::string why;
  const int dir = walk.Open(target, target.size() - 1, &why, false);
  if (dir < 0) return "its hard link target is not in the extraction folder: " + why;
  struct stat st, made;
  const char* name = target.back().c_str();
  if (fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) why = "its hard link target is not in the extraction folder";
  else if (!S_ISREG(st.st_mode)) why = "its hard link target is not a plain file";
  else if (!written.Holds(st)) why = "its hard link target was not written by this extraction";
  // Without AT_SYMLINK_FOLLOW linkat never follows the target.
  else if (linkat(dir, name, place.dir(), place.temp().c_str(), 0) != 0)
    why = std::string("cannot make the hard link: ") + std::strerror(errno);
  // The name may have been swapped for another file between the two calls.
  else if (fstatat(place.dir(), place.temp().c_str(), &made, AT_SYMLINK_NOFOLLOW) != 0 || !written.Holds(made))
    why = "its hard link target changed while it was linked";
  close(dir);
  return why;
}

const char* SpecialFileText(EntryInfo::Special kind) {
  using Special = EntryInfo::Special;
  switch (kind) {
    case Special::kFifo: return "a FIFO";
    case Special::kBlockDevice: return "a block device";
    case Special::kCharDevice: return "a character device";
    default: return "a special file";
  }
}

}  // namespace arjhost
