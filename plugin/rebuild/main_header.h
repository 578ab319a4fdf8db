// The main header of a rebuilt archive.
#pragma once

#include <cstdint>

#include "plugin/rebuild/encoded_entry.h"
#include "plugin/rebuild/output_stream.h"

// Writes the `length` bytes of the old main header with every CRC in it
// (the basic header's, each extended header's) computed afresh, so that a
// main header whose CRC failed, read on when a damaged archive is rewritten
// with what could be recovered, does not make the new archive fail its
// test. A sound header is written as it was, less its ARJ-PROTECT flag (the
// protection data is not carried over). With `comment`, that comment in
// place of the stored one. ERR_CORRUPTED when the bytes do not divide into
// a basic header and extended headers (or hold no name to put a comment
// after); ERR_BAD_PARAMETER when the comment would not fit the header.
[[nodiscard]] ResultCode WriteMainHeader(OutputStream& out, const uint8_t* header, uint32_t length,
                                         const EntryComment* comment = nullptr);
