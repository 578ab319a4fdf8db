// The paths of the volumes of a set we write, named by the format's volume
// naming (plugin/format/volume_names.h), as arj a -v names them and our
// reader finds them: NAME.arj, NAME.a01 .. NAME.a99, NAME.100, ...
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace arjhost {

// Whether `path` can name the first volume of a set we write
// (format::NamesFirstVolume of its file name).
bool NamesFirstVolume(const std::string& path);

// The path of volume `number` (0 the first) of the set whose first volume
// is `first` (a path NamesFirstVolume takes): the extension's letter keeps
// the case of the first's.
std::string VolumePath(const std::string& first, size_t number);

// The first volume of the set `path` is a later volume of, by its name:
// NAME.arj for NAME.a01 .., NAME.ARJ for NAME.A01 ..; for NAME.100 on, the
// file of that name in any case (as volumes are opened), else NAME.Arj.
// `path` itself for any other name (the first volume's, NAME.a5, NAME.abc).
std::string FirstVolumeOf(const std::string& path);

// Whether the file name `name` is that of a volume of the set whose first
// volume is `first` (the first's own name included).
bool IsVolumeOf(const std::string& first, const std::string& name);

// The file of a volume a set names (by its name alone): beside the archive
// that was opened, wherever the process runs; and of each of `volumes`.
std::string VolumeFile(const std::string& archive_path, const std::string& volume);
std::vector<std::string> VolumeFiles(const std::string& archive_path, const std::vector<std::string>& volumes);

// The file name alone.
std::string BaseName(const std::string& path);

}  // namespace arjhost
