// Recognition and the reading of main and local headers through a volume's
// stream; the header rules themselves are the format module's.
#pragma once

#include <cstdint>

#include "plugin/format/header_parse.h"
#include "plugin/host/host_objects.h"

// Internal hook 1: 0 when the I/O object holds an ARJ archive, else ERR_NOT_RECOGNIZED.
[[nodiscard]] ResultCode Recognize(ObjectRef io);

// The length of a volume's main header: the offset of its first local
// header, which its basic header size and extended headers decide.
// ERR_CORRUPTED when the header cannot be read whole or is not one; the
// stream's error when reading failed.
[[nodiscard]] ResultCode MeasureMainHeader(ObjectRef stream, uint32_t* length_out);

// Reads the local header at *position into the 34-byte fixed header and the
// 512-byte name field (at most 509 characters and a NUL; the caller zeroes
// the field first); on 0 *position is the next header's offset.
// ERR_END_OF_LIST at the end-of-archive marker, ERR_CORRUPTED for a damaged
// header or one whose data would end past the 4 GiB a volume is read in,
// the stream's error when reading failed. A header whose CRCs fail is read
// like any other. `read` (if given) keeps the header's bytes and facts.
struct LocalHeaderRead {
  uint8_t prefix[arjhost::format::kMaxHeaderPrefix];
  arjhost::format::HeaderFacts facts;
};
[[nodiscard]] ResultCode ReadLocalHeader(ObjectRef stream, uint32_t* position, uint8_t* fixed_header, char* name,
                                         LocalHeaderRead* read = nullptr);

// Tells the host of the header just taken into table row `row`, read from
// the volume `volume_io` (MSG_ENTRY_HEADER), so that it need not read the
// headers again. A notice: nothing changes whether it is taken.
void SendEntryHeader(ObjectRef archiver, ObjectRef volume_io, uint32_t row, const LocalHeaderRead& read);
