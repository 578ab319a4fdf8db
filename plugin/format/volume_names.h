// The file names of a volume set, as arj a -v names them: NAME.ARJ,
// NAME.A01 .. NAME.A99, NAME.100, NAME.101, ... (four digits past .999).
// One pair reads and writes the number: the plug-in finds the volumes of a
// set it is handed by it, and the runtime names those of a set it writes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace arjhost::format {

// The volume number the name's extension carries, or -1. `length` is the
// number of bytes to search (0: up to the NUL; a count that includes the
// NUL gives the same result).
int32_t FindVolumeNumber(const char* name, uint32_t length);

// Rewrites the name in place for volume `volume` of the same set: 0 when
// rewritten, 1 when the name has no dot at position 1 or later. The buffer
// needs 11 bytes after the dot (14 for a negative volume).
int32_t SetVolumeNumber(char* name, uint32_t length, int32_t volume);

// The two on strings: the number `name` carries (-1: none), and the name
// of volume `volume` of its set (empty when the name has no extension).
int32_t VolumeNumberOf(std::string_view name);
std::string VolumeName(std::string_view name, int32_t volume);

// Whether a set can be written from the name of its first volume: ".arj"
// (any case) after at least one other character. Later volumes are then
// named in the case of its "a".
bool NamesFirstVolume(std::string_view name);

}  // namespace arjhost::format
