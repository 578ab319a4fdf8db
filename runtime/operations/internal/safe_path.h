// Stored names come from strangers: turning one into a path under the
// extraction folder that cannot leave it.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace arjhost {

// Splits a name on '/' and '\' into path components. A leading drive
// letter ("C:") and leading separators are removed and returned in
// `removed` (an absolute name extracts under the folder, as with arj and
// tar); ".." components and empty names are refused, with the reason in
// `why`; "." and empty components are dropped.
bool SplitEntryPath(const std::string& name, std::vector<std::string>* components, std::string* removed,
                    std::string* why);

// The first `count` components joined with '/': a path under the
// extraction folder, as the folders one run made are remembered.
std::string JoinedPath(const std::vector<std::string>& components, size_t count);

// An open directory under the extraction folder, reached component by
// component without following symbolic links.
class DirectoryWalk {
 public:
  // `made`, when given, gathers the folders this walk creates (JoinedPath).
  explicit DirectoryWalk(int root_fd, std::set<std::string>* made = nullptr) : root_fd_(root_fd), made_(made) {}
  // Opens the first `count` components as directories, creating missing
  // ones when `create`; returns the descriptor (the caller closes it) or
  // -1 with `why` set.
  int Open(const std::vector<std::string>& components, size_t count, std::string* why, bool create = true) const;

 private:
  int root_fd_;
  std::set<std::string>* made_;
};

}  // namespace arjhost
