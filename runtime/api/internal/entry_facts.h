// An API entry as the format module's verdicts judge it.
#pragma once

#include "plugin/format/entry_verdicts.h"
#include "runtime/api/archive.h"

namespace arjhost {

// What the entry's headers say: its first part's header and every part.
format::EntryFacts FactsOf(const EntryInfo& entry);

}  // namespace arjhost
