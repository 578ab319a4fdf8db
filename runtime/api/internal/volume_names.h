// The file names of a volume set we write, as arj a -v names them and our
// reader finds them: NAME.arj, NAME.a01 .. NAME.a99, NAME.100, ...
#pragma once

#include <cstddef>
#include <string>

namespace arjhost {

// Whether `path` can name the first volume of a set: its file name ends in
// ".arj" (any case) after at least one other character.
bool NamesFirstVolume(const std::string& path);

// The path of volume `number` (0 the first) of the set whose first volume
// is `first` (a path NamesFirstVolume takes): the extension's letter keeps
// the case of the first's.
std::string VolumePath(const std::string& first, size_t number);

// The file name alone.
std::string BaseName(const std::string& path);

}  // namespace arjhost
