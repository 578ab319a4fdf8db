// The 34-byte fixed header a re-encoded entry starts from, and the method
// it is encoded with.
#pragma once

#include <cstdint>

#include "plugin/format/unix_special.h"
#include "plugin/state/archiver_state.h"

struct EntryTemplate {
  uint8_t header[arjhost::format::kFixedHeaderSize];
  uint8_t method;
  // The 'U' extended header's body of a link or special file (0: none).
  uint32_t unix_special_length;
  uint8_t unix_special[arjhost::format::kMaxUnixSpecialBodySize];
};

// Either kind of new entry is ungarbled with no flags set, a binary file
// unless its mode says it is a folder (file type 3) or a link or special
// file (file type 6, with PROP_UNIX_SPECIAL's body); those two hold no data
// and are stored. What the content has decides over the header it starts
// from: its mode (PROP_FILE_MODE, which makes the entry a UNIX one), its
// modification time
// (PROP_MODIFIED_TIME) and the method it asks for (PROP_ENTRY_METHOD).
// Versions, chapters and, without a mode, host and attributes stay the
// starting header's.

// A replaced entry starts from its own fixed header; without a time of
// its own the content is stamped now.
[[nodiscard]] ResultCode ReplacedEntryTemplate(const EntryRecord& entry, ObjectRef content, EntryTemplate* out);

// An added object starts from the first old entry's fixed header (whose
// time stands when the content has none), or for an archive without
// entries from a file header of our own making.
[[nodiscard]] ResultCode AddedEntryTemplate(const ArchiverState& s, ObjectRef content, EntryTemplate* out);
