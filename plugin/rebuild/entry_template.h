// The 34-byte fixed header a re-encoded entry starts from, and the method
// it is encoded with.
#pragma once

#include <cstdint>

#include "plugin/state/archiver_state.h"

struct EntryTemplate {
  uint8_t header[kFixedHeaderSize];
  uint8_t method;
};

// A replaced entry: its own fixed header. `content` may ask for another
// method through PROP_ENTRY_METHOD.
ResultCode ReplacedEntryTemplate(const EntryRecord& entry, ObjectRef content, EntryTemplate* out);

// An added object: the first old entry's fixed header, or for an archive
// without entries a binary file of our own making; either way with the
// content's own modification time (PROP_MODIFIED_TIME) when it has one.
ResultCode AddedEntryTemplate(const ArchiverState& s, ObjectRef content, EntryTemplate* out);
