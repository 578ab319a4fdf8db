// How many terminal columns text takes, for lining up the listing's
// columns: wide East Asian characters take two, combining marks and other
// zero-width characters none, everything else one, as the Unicode version
// display_width_table.h names has them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cli {

// The columns of one code point: 0, 1 or 2 (control characters count 1:
// the listing shows them escaped, never raw).
int CodePointWidth(char32_t c);
// The columns of UTF-8 text; an invalid byte counts one.
size_t DisplayWidth(std::string_view utf8);
// `text` followed by spaces up to `width` columns (as it is when wider).
std::string PadToWidth(const std::string& text, size_t width);
// Spaces up to `width` columns, then `text`.
std::string PadLeftToWidth(const std::string& text, size_t width);

}  // namespace cli
