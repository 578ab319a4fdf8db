// What Archive::Rebuild checks before it writes: that the archive may be
// rewritten at all, and where an in-place rewrite goes.
#pragma once

#include <string>
#include <vector>

#include "runtime/api/archive.h"

namespace arjhost {

// Why the archive must not be rewritten with `changes` ("" when it may):
// a damaged one opened without recovery, a kept
// entry whose header fails its CRC (copied, it would make the new archive
// fail its test; with recovery it is left out instead), a new entry under
// one that is not a folder, or the other way round, an incomplete or
// restricted archive.
std::string RewriteRefusal(const ArchiveState& state, const std::vector<EntryInfo>& entries, const ChangeSet& changes,
                           bool recovered);

// With recovery: every entry whose header fails its CRC (recovery reads
// it to fail it, never to copy it) is dropped, unless replaced.
void LeaveOutDamagedHeaders(const std::vector<EntryInfo>& entries, ChangeSet* changes);

// The file an in-place rewrite replaces: the target of a symbolic link
// (the link itself stays), else `path`.
std::string InPlaceTarget(const std::string& path);

// The first of `entries` of the new archive that fails its test, named
// with its cause (as arj -jt tests what it wrote).
Status TestEveryEntry(Archive& archive, const std::vector<EntryInfo>& entries, const PasswordSource& passwords);

}  // namespace arjhost
