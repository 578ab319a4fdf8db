// The entries a rewrite writes, in the order it writes them: the kept and
// replaced old entries where they stand, then the added ones. Rules that
// look across entries are judged on this order.
#pragma once

#include <string>
#include <vector>

#include "runtime/api/archive.h"

namespace arjhost {

// A hard link whose target entry would come after it (a replaced entry
// stands where the old one stood, before the added target) is stored as
// the file it is a second name of: readers make a hard link only to what
// they already extracted.
void StoreLinksAheadOfTheirTargetsAsFiles(const std::vector<EntryInfo>& entries, ChangeSet* changes);

// Where a new or replaced entry and another one would lie one under the
// other although the upper one is not a folder (a file "a.txt" and an
// entry "a.txt/inner"): no reader can extract both. "" when none do.
std::string NameUnderAnEntryThatIsNoFolder(const std::vector<EntryInfo>& entries, const ChangeSet& changes);

}  // namespace arjhost
