#include "runtime/api/internal/volume_names.h"

#include <cstdio>

#include "runtime/services/native_path.h"

namespace arjhost {

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool NamesFirstVolume(const std::string& path) {
  const std::string name = BaseName(path);
  if (name.size() < 5 || name[name.size() - 4] != '.') return false;
  for (size_t i = 0; i < 3; ++i)
    if ((name[name.size() - 3 + i] | 0x20) != "arj"[i]) return false;
  return true;
}

std::string VolumeFile(const std::string& archive_path, const std::string& volume) {
  if (!arjrt::IsSiblingName(volume) || archive_path.find('/') == std::string::npos) return volume;
  return arjrt::JoinPath(arjrt::DirectoryName(archive_path), volume);
}

std::vector<std::string> VolumeFiles(const std::string& archive_path, const std::vector<std::string>& volumes) {
  std::vector<std::string> files;
  for (const std::string& volume : volumes) files.push_back(VolumeFile(archive_path, volume));
  return files;
}

std::string FirstVolumeOf(const std::string& path) {
  const std::string name = BaseName(path);
  if (name.size() < 5 || name[name.size() - 4] != '.') return path;
  const char* ext = name.c_str() + name.size() - 3;
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (!digit(ext[1]) || !digit(ext[2])) return path;
  const bool lettered = (ext[0] | 0x20) == 'a' && (ext[1] != '0' || ext[2] != '0');
  const bool numbered = digit(ext[0]) && ext[0] != '0';
  if (!lettered && !numbered) return path;
  return path.substr(0, path.size() - 3) + (ext[0] == 'A' ? "ARJ" : "arj");
}

std::string VolumePath(const std::string& first, size_t number) {
  if (number == 0) return first;
  const std::string stem = first.substr(0, first.size() - 3);  // up to the dot
  if (number >= 100) return stem + std::to_string(number);
  // The reader turns an upper-case letter into "A", any later byte into "a".
  const char letter = first[first.size() - 3] == 'A' ? 'A' : 'a';
  char digits[3];
  std::snprintf(digits, sizeof digits, "%02zu", number);
  return stem + letter + digits;
}

}  // namespace arjhost
