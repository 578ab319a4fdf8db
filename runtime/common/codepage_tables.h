// Unicode code points of bytes 0x80-0xFF (index byte - 0x80) of the DOS code
// pages; bytes below 0x80 are ASCII in all of them.
#pragma once

#include <array>

namespace arjrt {

using CodePageTable = std::array<char16_t, 128>;

extern const CodePageTable kCodePage437;
extern const CodePageTable kCodePage850;
extern const CodePageTable kCodePage866;

}  // namespace arjrt
