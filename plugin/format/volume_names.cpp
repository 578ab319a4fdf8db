#include "plugin/format/volume_names.h"

#include <cstring>

#include "plugin/format/integer_text.h"

namespace arjhost::format {
namespace {

uint32_t SearchLength(const char* name, uint32_t length) {
  uint32_t measured = static_cast<uint32_t>(std::strlen(name));
  // A count that includes the NUL, or one that runs past it, searches the name alone.
  return length == 0 || length > measured ? measured : length;
}

// Room SetVolumeNumber may write past the dot: a letter, "0", a sign, ten
// digits and the NUL.
constexpr size_t kRoomAfterDot = 14;

}  // namespace

int32_t FindVolumeNumber(const char* name, uint32_t length) {
  length = SearchLength(name, length);
  for (uint32_t p = length; p-- > 1;) {
    if (name[p] != '.') continue;
    char folded = static_cast<char>(name[p + 1] | 0x20);
    if (folded == 'a') return ParseInteger(name + p + 2);
    if (folded >= '0' && folded <= '9') return ParseInteger(name + p + 1);
  }
  return -1;
}

int32_t SetVolumeNumber(char* name, uint32_t length, int32_t volume) {
  length = SearchLength(name, length);
  uint32_t dot = 0;
  for (uint32_t p = length; p-- > 1;)
    if (name[p] == '.') {
      dot = p;
      break;
    }
  if (dot == 0) return 1;
  char* letter = name + dot + 1;
  const char old = *letter;
  *letter = static_cast<unsigned char>(old) > 'Z' ? 'a' : 'A';
  if (volume == 0) {
    std::strcpy(letter + 1, old == 'A' ? "RJ" : "rj");
  } else if (volume < 10) {  // 1 to 9, and a negative number keeps its sign
    letter[1] = '0';
    FormatInteger(volume, letter + 2);
  } else if (volume < 100) {
    FormatInteger(volume, letter + 1);
  } else {
    FormatInteger(volume, letter);  // the digits replace the letter
  }
  return 0;
}

int32_t VolumeNumberOf(std::string_view name) {
  const std::string text(name.substr(0, name.find('\0')));
  return FindVolumeNumber(text.c_str(), 0);
}

std::string VolumeName(std::string_view name, int32_t volume) {
  std::string buffer(name.substr(0, name.find('\0')));
  const size_t length = buffer.size();
  buffer.resize(length + kRoomAfterDot, '\0');
  if (SetVolumeNumber(buffer.data(), static_cast<uint32_t>(length), volume) != 0) return {};
  buffer.resize(std::strlen(buffer.c_str()));
  return buffer;
}

bool NamesFirstVolume(std::string_view name) {
  if (name.size() < 5 || name[name.size() - 4] != '.') return false;
  for (size_t i = 0; i < 3; ++i)
    if ((name[name.size() - 3 + i] | 0x20) != "arj"[i]) return false;
  return true;
}

}  // namespace arjhost::format
