// One re-encoded entry: a placeholder header of its final length, the
// encoder's packed data straight into the output, then the header patched
// in place.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"
#include "plugin/rebuild/entry_template.h"
#include "plugin/rebuild/output_stream.h"

// The objects of one re-encoded entry, released by the caller in this
// order: source stream, source (only when owned), encoder.
struct EntryObjects {
  ObjectRef source = nullptr;  // the new content
  bool source_owned = false;   // handed over by QueryEntry: closed after the entry
  ObjectRef source_stream = nullptr;
  ObjectRef encoder = nullptr;
};

void ReleaseEntryObjects(EntryObjects& objects);

// Packed and original sizes are 32-bit fields, and positions within a
// volume are read as 32-bit values.
constexpr uint64_t kMaxStoredSize = 0xFFFFFFFFull;

struct EntryComment {
  const uint8_t* text = nullptr;  // not NUL-terminated
  uint32_t length = 0;
};

struct EncodedEntry {
  const EntryTemplate* header;
  const char* name;  // not necessarily NUL-terminated
  uint32_t name_length;
  EntryComment comment = {};  // dropped when name and comment would not fit one basic header
  // Garbled with this password (as arj -g does) when it is not empty.
  const char* password = nullptr;
  uint32_t password_length = 0;
};

// Writes the entry at the output's position, using `work` (the work
// buffer, which the name and comment may lie in) for the CRC pass and the
// read-back.
// *process_result receives the encoder's result once it has run.
[[nodiscard]] ResultCode WriteEncodedEntry(ObjectRef archiver, uint8_t* work, OutputStream& out,
                                           const EncodedEntry& entry, EntryObjects& objects,
                                           ResultCode* process_result);
