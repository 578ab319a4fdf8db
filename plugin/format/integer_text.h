// Integer text conversions, as volume names carry their numbers.
#pragma once

#include <cstdint>

namespace arjhost::format {

// Writes `value` in decimal, signed and NUL-terminated, into `buffer`, which
// must hold 12 bytes. Returns `buffer`.
char* FormatInteger(int32_t value, char* buffer);

// An optionally signed decimal number at the start of `text`; no digits
// give 0, overflow wraps.
int32_t ParseInteger(const char* text);

}  // namespace arjhost::format
