// Stored names come from strangers: turning one into a path under the
// extraction folder that cannot leave it.
#pragma once

#include <string>
#include <vector>

namespace cli {

// Splits a name on '/' and '\' into path components. A leading drive
// letter ("C:") and leading separators are removed and returned in
// `removed` (an absolute name extracts under the folder, as with arj and
// tar); ".." components and empty names are refused, with the reason in
// `why`; "." and empty components are dropped.
bool SplitEntryPath(const std::string& name, std::vector<std::string>* components, std::string* removed,
                    std::string* why);

// An open directory under the extraction folder, reached component by
// component without following symbolic links.
class DirectoryWalk {
 public:
  explicit DirectoryWalk(int root_fd) : root_fd_(root_fd) {}
  // Opens the first `count` components as directories, creating missing
  // ones when `create`; returns the descriptor (the caller closes it) or
  // -1 with `why` set.
  int Open(const std::vector<std::string>& components, size_t count, std::string* why, bool create = true) const;

 private:
  int root_fd_;
};

}  // namespace cli
