// UTF-8 read one character at a time, the one way every output of the tool
// reads it (JSON strings, terminal text, column widths), so that they agree
// on where a malformed sequence starts and ends.
#pragma once

#include <cstddef>
#include <string_view>

namespace cli {

struct Utf8Char {
  char32_t code_point;  // U+FFFD when !valid
  size_t length;        // bytes it takes, at least 1
  bool valid;
};

// The character at text[pos] (pos < text.size()). Overlong forms,
// surrogates, values past U+10FFFF and cut sequences are not valid; such a
// sequence spans its longest well-formed start (at least one byte), so that
// one U+FFFD stands for each, as is usual.
Utf8Char ReadUtf8Char(std::string_view text, size_t pos);

// U+FFFD in UTF-8.
constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";

}  // namespace cli
