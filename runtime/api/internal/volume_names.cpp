#include "runtime/api/internal/volume_names.h"

#include <cstdio>

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
