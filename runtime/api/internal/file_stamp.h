// What tells whether a file changed under us: its identity, size and
// modification time.
#pragma once

#include <cstdint>
#include <string>

namespace arjhost {

struct FileStamp {
  bool known = false;  // the file could be looked at
  uint64_t device = 0, inode = 0, size = 0;
  int64_t modified_seconds = 0, modified_nanoseconds = 0;
  bool operator==(const FileStamp&) const = default;
};

// Of the file `path` names (a link followed); `known` false when it cannot.
FileStamp StampOfFile(const std::string& path);

}  // namespace arjhost
