// The UNIX links that arj -a1 stores, made again under the extraction
// folder. Devices and FIFOs are not made.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/entry_placement.h"
#include "cli/safe_path.h"
#include "runtime/api/archive.h"

namespace cli {

// Whether a symbolic link `depth` folders below the extraction folder may
// point at `target`: relative, with its ".." components all at its start
// and no more of them than `depth`. Every link an extraction makes then
// resolves inside the folder, through other such links too. Else `why`.
bool SymbolicLinkStaysInside(const std::string& target, size_t depth, std::string* why);

// Makes a symbolic link to `target` under `place`'s temporary name, with
// the stored time; empty on success, else why not.
std::string MakeSymbolicLink(const EntryPlacement& place, const std::string& target, int64_t time);

// Gives the regular file at `target` (components under the extraction
// folder, reached without following links) `place`'s temporary name as
// well; empty on success, else why not.
std::string MakeHardLink(const DirectoryWalk& walk, const std::vector<std::string>& target,
                         const EntryPlacement& place);

// "a FIFO", "a block device", "a character device" for notices.
const char* SpecialFileText(arjhost::EntryInfo::Special kind);

}  // namespace cli
