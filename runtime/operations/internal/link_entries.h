// The UNIX links that arj -a1 stores, made again under the extraction
// folder. Devices and FIFOs are not made.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "runtime/api/archive.h"
#include "runtime/operations/internal/entry_placement.h"
#include "runtime/operations/internal/safe_path.h"

namespace arjhost {

// Whether a symbolic link `depth` folders below the extraction folder may
// point at `target`: relative, with its ".." components all at its start
// and no more of them than `depth`. Every link an extraction makes then
// resolves inside the folder, through other such links too. Else `why`.
bool SymbolicLinkStaysInside(const std::string& target, size_t depth, std::string* why);

// Makes a symbolic link to `target` under `place`'s temporary name, with
// the stored time; empty on success, else why not.
std::string MakeSymbolicLink(const EntryPlacement& place, const std::string& target, int64_t time);

// The files one extraction wrote, by device and inode: a hard link is
// made only to one of them, never to a file that was in the folder before
// (which a crafted entry could otherwise give a second name, and an
// extraction with -o then rewrite through it).
class WrittenFiles {
 public:
  void Add(const struct stat& file) { files_.insert({file.st_dev, file.st_ino}); }
  bool Holds(const struct stat& file) const { return files_.count({file.st_dev, file.st_ino}) != 0; }

 private:
  std::set<std::pair<dev_t, ino_t>> files_;
};

// Gives the regular file at `target` (components under the extraction
// folder, reached without following links), which must be one of
// `written`, `place`'s temporary name as well; empty on success, else why
// not.
std::string MakeHardLink(const DirectoryWalk& walk, const std::vector<std::string>& target,
                         const WrittenFiles& written, const EntryPlacement& place);

// "a FIFO", "a block device", "a character device" for notices.
const char* SpecialFileText(EntryInfo::Special kind);

}  // namespace arjhost
