#include "plugin/format/integer_text.h"

namespace arjhost::format {

char* FormatInteger(int32_t value, char* buffer) {
  char* out = buffer;
  uint32_t magnitude = static_cast<uint32_t>(value);
  if (value < 0) {
    *out++ = '-';
    magnitude = 0u - magnitude;  // -2147483648 is written in full
  }
  char* first_digit = out;
  do {
    *out++ = static_cast<char>('0' + magnitude % 10u);
    magnitude /= 10u;
  } while (magnitude != 0);
  *out = '\0';
  for (char* a = first_digit, *b = out - 1; a < b; ++a, --b) {
    char t = *a;
    *a = *b;
    *b = t;
  }
  return buffer;
}

int32_t ParseInteger(const char* text) {
  bool negative = false;
  if (*text == '-' || *text == '+') negative = *text++ == '-';
  uint32_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) value = value * 10u + static_cast<uint32_t>(*text - '0');
  return static_cast<int32_t>(negative ? 0u - value : value);
}

}  // namespace arjhost::format
