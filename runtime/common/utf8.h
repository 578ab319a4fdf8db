// Strict UTF-8 decoding and encoding, shared by the code page conversion and
// the JSON writer so that both treat malformed text the same way.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace arjrt {

constexpr char32_t kReplacementChar = 0xFFFD;

struct Utf8Step {
  char32_t code_point;  // kReplacementChar when !valid
  size_t length;        // bytes consumed, at least 1 while input remains
  bool valid;
};

// Decodes the sequence starting at text[pos] (pos < text.size()). Overlongs,
// surrogates and values above U+10FFFF are invalid. An invalid sequence
// consumes its longest well-formed prefix (at least one byte), so replacing
// each invalid step by U+FFFD follows the usual "maximal subpart" practice.
Utf8Step DecodeUtf8Step(std::string_view text, size_t pos);

// Appends the UTF-8 form of `code_point`; values that are not Unicode
// scalar values (surrogates, above U+10FFFF) append U+FFFD.
void AppendUtf8(char32_t code_point, std::string* out);

}  // namespace arjrt
