// Adding files to a change of an archive by name, as arj a, u and f add
// them: the one rule the tool, the C API and Python's writer keep.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/api/archive.h"
#include "runtime/api/export.h"
#include "runtime/api/rebuild.h"
#include "runtime/api/status.h"

namespace arjhost {

// How an added file meets the entries of its name: arj a replaces them,
// arj u only those older than the file, arj f the same and appends none.
enum class AddMode : uint8_t { kAdd, kUpdate, kFreshen };

// Adds `content` to `changes` by that rule, for every door alike: it
// replaces each entry of `entries` under its stored name that the change
// does not drop (with kUpdate and kFreshen only those older than the
// file, as far as the entry's time can tell), or, with none of that name,
// is appended (not with kFreshen). A second file for one stored name in
// the change is refused (kBadArgument, "a second file for the entry ...").
ARJHOST_API Status AddByName(const std::vector<EntryInfo>& entries, NewContent content, AddMode mode,
                             ChangeSet* changes);
// Notes that a file of the change takes the stored name `name` (in
// `changes->named`), or refuses it as AddByName does when one already did.
ARJHOST_API Status TakeNewName(const std::string& name, ChangeSet* changes);

}  // namespace arjhost
