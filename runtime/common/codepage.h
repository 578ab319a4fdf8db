// Conversion of the name bytes stored in archives to UTF-8 for display, and
// back. Old ARJ archives hold names in a DOS code page, newer tools may
// store UTF-8; the stored bytes do not say which.
#pragma once

#include <string>
#include <string_view>

namespace arjrt {

constexpr int kCodePageUtf8 = 65001;

// True when `text` is well-formed UTF-8: no overlong forms, no surrogates,
// nothing above U+10FFFF, no truncated sequence.
bool IsValidUtf8(std::string_view text);

// Decodes `bytes` in code page 437, 850, 866 or 65001 (UTF-8) into UTF-8.
// Malformed UTF-8 becomes U+FFFD. For any other code page the ASCII bytes are
// kept and every byte from 0x80 up becomes U+FFFD.
std::string DecodeToUtf8(std::string_view bytes, int codepage);

// The stored name as UTF-8: kept as it is when it is valid UTF-8 (pure ASCII
// is), otherwise decoded from `fallback_codepage`.
std::string DisplayName(std::string_view stored, int fallback_codepage = 437);

// Encodes the UTF-8 text `utf8` in `codepage` (437, 850, 866, 65001) into
// *out. Returns false, leaving *out untouched, when `utf8` is malformed,
// a character has no byte in the page, or the page is not one of these.
bool EncodeFromUtf8(std::string_view utf8, int codepage, std::string* out);

}  // namespace arjrt
