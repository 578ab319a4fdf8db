// Recognition and the reading of main and local headers.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"

// Internal hook 1: 0 when the I/O object holds an ARJ archive, else ERR_NOT_RECOGNIZED.
ResultCode Recognize(ObjectRef io);

// The length of a volume's main header: the offset of its first local
// header. ERR_CORRUPTED when the header cannot be read, when its name or
// comment runs past its basic header, or when it does not end within the
// volume.
ResultCode MeasureMainHeader(ObjectRef stream, uint32_t* length_out);

// Reads the local header at *position into the 34-byte fixed header and the
// 512-byte name field; on 0 *position is the next header's offset.
// ERR_END_OF_LIST at the end-of-archive marker, ERR_CORRUPTED for a damaged
// header or one whose data would end past the 4 GiB a volume is read in.
ResultCode ReadLocalHeader(ObjectRef stream, uint32_t* position, uint8_t* fixed_header, char* name);

// Reads a NUL-terminated string at the stream's position; never fails. The
// count (if wanted) includes the terminator; a buffer takes at most 509
// characters and a terminator, and must hold 510 bytes.
ResultCode ReadZString(ObjectRef stream, uint32_t* count, char* buffer);

// The same, consuming at most `limit` bytes. Returns whether the string's
// terminator was found within them.
bool ReadBoundedZString(ObjectRef stream, uint64_t* count, char* buffer, uint64_t limit);

// Steps over the extended-header chain whose first size word is at `q`.
// Returns the offset after the chain; *terminated (if given) tells whether
// the chain's final zero size was actually read.
uint64_t WalkExtendedHeaders(ObjectRef stream, uint64_t q, bool* terminated);
