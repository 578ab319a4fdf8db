// Stored names come from strangers: turning one into a path under the
// extraction folder that cannot leave it.
#pragma once

#include <string>
#include <vector>

namespace cli {

// Splits a stored name on '/' and '\' into path components. Refuses
// absolute names, drive letters and ".." components (and empty names),
// with the reason in `why`; "." and empty components are dropped.
bool SplitEntryPath(const std::string& stored, std::vector<std::string>* components, std::string* why);

// An open directory under the extraction folder, reached component by
// component without following symbolic links.
class DirectoryWalk {
 public:
  explicit DirectoryWalk(int root_fd) : root_fd_(root_fd) {}
  // Opens (creating when missing) every component as a directory; returns
  // the descriptor (the caller closes it) or -1 with `why` set.
  int Open(const std::vector<std::string>& components, size_t count, std::string* why) const;

 private:
  int root_fd_;
};

}  // namespace cli
