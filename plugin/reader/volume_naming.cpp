#include "plugin/reader/volume_naming.h"

#include <cstring>

#include "plugin/common/integer_text.h"

namespace {

uint32_t SearchLength(const char* name, uint32_t length) {
  uint32_t measured = static_cast<uint32_t>(std::strlen(name));
  // A count that includes the NUL, or one that runs past it, searches the name alone.
  return length == 0 || length > measured ? measured : length;
}

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
