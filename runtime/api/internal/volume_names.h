// The file names of a volume set we write, as arj a -v names them and our
// reader finds them: NAME.arj, NAME.a01 .. NAME.a99, NAME.100, ...
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace arjhost {

// Whether `path` can name the first volume of a set: its file name ends in
// ".arj" (any case) after at least one other character.
bool NamesFirstVolume(const std::string& path);

// The path of volume `number` (0 the first) of the set whose first volume
// is `first` (a path NamesFirstVolume takes): the extension's letter keeps
// the case of the first's.
std::string VolumePath(const std::string& first, size_t number);

// The first volume of the set `path` would be a later volume of, by its
// name: NAME.arj for NAME.a01 .. NAME.a99 and NAME.100 on (NAME.ARJ for
// NAME.A01 ..); `path` itself for any other name.
std::string FirstVolumeOf(const std::string& path);

// The file of a volume a set names (by its name alone): beside the archive
// that was opened, wherever the process runs; and of each of `volumes`.
std::string VolumeFile(const std::string& archive_path, const std::string& volume);
std::vector<std::string> VolumeFiles(const std::string& archive_path, const std::vector<std::string>& volumes);

// The file name alone.
std::string BaseName(const std::string& path);

}  // namespace arjhost
