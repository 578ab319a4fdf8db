// Integer text conversions.
#pragma once

#include <cstdint>

// Writes `value` in `radix` (2..36), NUL-terminated; radix 10 writes a sign
// for negative values, other radixes take the 32 bits as unsigned. The
// buffer must hold 33 bytes for radix 2, 12 for radix 10. Returns `buffer`.
char* FormatInteger(int32_t value, char* buffer, int radix);

// An optionally signed decimal number at the start of `text`; no digits
// give 0, overflow wraps.
int32_t ParseInteger(const char* text);
