// The per-entry properties, computed on demand for the entry that the
// selector names (or the current entry).
#pragma once

#include <cstdint>

#include "plugin/state/archiver_state.h"

// The property table's getter.
[[nodiscard]] ResultCode GetEntryProperty(ObjectRef archiver, uint32_t* length, PropId prop, void* buffer,
                                          uint32_t size);

// The parts of the logical entry that begins at `index`: the index of its
// last part. A part that is not the continuation of the one before it (no
// continuation flag, or not in the next volume) ends the walk, as does the
// table's end.
uint64_t LastPartOf(const ArchiverState& s, uint64_t index);

// Whether the part at `index` continues the one before it: flagged as
// continued, in the volume after it, and that one flagged as continuing.
bool ContinuesPartBefore(const ArchiverState& s, uint64_t index);
