// Stored times and modes of folder entries, applied once every entry is
// written: a file made in a folder changes the folder's time, and a
// read-only mode would keep out what comes after.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/operations/internal/safe_path.h"

namespace arjhost {

class FolderAttributes {
 public:
  struct Folder {
    std::vector<std::string> components;  // under the extraction folder
    bool set_mode = false;
    mode_t mode = 0;
    bool set_time = false;
    int64_t time = 0;  // seconds since 1970-01-01 UTC
    size_t result = 0;  // the entry's place among the run's results
  };
  using FailureSink = std::function<void(const Folder& folder, const std::string& why)>;

  void Remember(Folder folder) { folders_.push_back(std::move(folder)); }
  // Deepest folders first (a parent's time is set after its children's),
  // each reached without following symbolic links.
  void Apply(const DirectoryWalk& walk, const FailureSink& failed);

 private:
  std::vector<Folder> folders_;
};

}  // namespace arjhost
