#include "runtime/api/internal/volume_names.h"

#include <sys/stat.h>

#include <cstdint>

#include "plugin/format/volume_names.h"
#include "runtime/services/native_path.h"

namespace arjhost {

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool NamesFirstVolume(const std::string& path) { return format::NamesFirstVolume(BaseName(path)); }

std::string VolumeFile(const std::string& archive_path, const std::string& volume) {
  if (!arjrt::IsSiblingName(volume) || archive_path.find('/') == std::string::npos) return volume;
  return arjrt::JoinPath(arjrt::DirectoryName(archive_path), volume);
}

std::vector<std::string> VolumeFiles(const std::string& archive_path, const std::vector<std::string>& volumes) {
  std::vector<std::string> files;
  for (const std::string& volume : volumes) files.push_back(VolumeFile(archive_path, volume));
  return files;
}

bool IsVolumeOf(const std::string& first, const std::string& name) {
  const int32_t number = format::VolumeNumberOf(name);
  return number >= 0 && VolumePath(BaseName(first), static_cast<size_t>(number)) == name;
}

std::string FirstVolumeOf(const std::string& path) {
  const std::string name = BaseName(path);
  const int32_t number = format::VolumeNumberOf(name);
  if (number <= 0) return path;
  const std::string first = format::VolumeName(name, 0);
  // Only the name a set's volume has is one: NAME.a5 or NAME.005 is not.
  if (!IsVolumeOf(first, name)) return path;
  const std::string folder = path.substr(0, path.size() - name.size());
  struct stat st;
  std::string found;
  if (::lstat((folder + first).c_str(), &st) != 0 &&
      arjrt::FindNameIgnoringCase(folder.empty() ? "." : folder, first, &found))
    return folder + found;
  return folder + first;
}

std::string VolumePath(const std::string& first, size_t number) {
  // The first is the path given, in its own case; a later one's letter
  // takes the case of the first's "a".
  if (number == 0) return first;
  const std::string name = BaseName(first);
  return first.substr(0, first.size() - name.size()) + format::VolumeName(name, static_cast<int32_t>(number));
}

}  // namespace arjhost
