// Volume numbers in the file names of a multi-volume set: NAME.ARJ,
// NAME.A01 .. NAME.A99, NAME.100, NAME.101, ...
#pragma once

#include <cstdint>

// The volume number the name's extension carries, or -1. `length` is the
// number of bytes to search (0: up to the NUL; a count that includes the
// NUL gives the same result).
int32_t FindVolumeNumber(const char* name, uint32_t length);

// Rewrites the name in place for volume `volume` of the same set: 0 when
// rewritten, 1 when the name has no dot at position 1 or later. The buffer
// needs 11 bytes after the dot (14 for a negative volume).
int32_t SetVolumeNumber(char* name, uint32_t length, int32_t volume);
