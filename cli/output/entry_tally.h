// What extract and test did, counted for the line they end with:
// "9 files, 2 folders, 1.2 MiB".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/api/archive.h"

namespace cli {

struct EntryTally {
  size_t files = 0, folders = 0, links = 0, kept = 0, failed = 0;  // kept: skipped, not failed
  uint64_t bytes = 0;  // of the entries that came out whole

  void Done(const arjhost::EntryInfo& e, uint64_t size);
  // "9 files, 2 folders, 1 link, 1.2 MiB, 3 skipped, 1 failed": the counts
  // that are not 0, files and bytes always.
  std::string Text() const;
};

}  // namespace cli
