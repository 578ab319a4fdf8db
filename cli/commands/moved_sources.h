// add --move (as arj m): the files whose content was stored are removed
// once the new archive stands, each only if it is still what was read.
#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

#include "runtime/api/rebuild.h"

namespace cli {

class MovedSources {
 public:
  // Notes, before the rebuild reads them, the files of `changes` that are
  // stored with their content (folders, links and special files stay
  // where they are: their entries hold no bytes of theirs).
  explicit MovedSources(const arjhost::ChangeSet& changes);

  // Removes each noted file that is still the one noted (same file, size,
  // modification and change times); names on stderr each that is not
  // removed, and why; a signal (SIGINT, SIGTERM, SIGHUP) stops the
  // removals, the files left named. Returns the exit code: 0, or 1 when
  // one was kept.
  int RemoveAll(const std::string& command) const;

  struct Source {
    std::string path;
    bool noted = false;  // false: it could not be looked at before the rebuild
    struct stat seen {};
  };

 private:
  std::vector<Source> sources_;
};

}  // namespace cli
