#include "cli/output/display_width.h"

#include <algorithm>
#include <iterator>

#include "cli/output/display_width_table.h"
#include "cli/output/utf8_reading.h"

namespace cli {
namespace {

bool InRanges(std::span<const CodePointRange> ranges, char32_t c) {
  const auto after = std::upper_bound(ranges.begin(), ranges.end(), c,
                                      [](char32_t v, const CodePointRange& r) { return v < r.first; });
  return after != ranges.begin() && c <= std::prev(after)->last;
}

std::string Spaces(const std::string& text, size_t width) {
  const size_t used = DisplayWidth(text);
  return std::string(used < width ? width - used : 0, ' ');
}

}  // namespace

int CodePointWidth(char32_t c) {
  if (c < 0x300) return 1;  // ASCII, controls (shown escaped), Latin-1 and Latin Extended
  if (InRanges(kZeroWidth, c)) return 0;
  return InRanges(kWide, c) ? 2 : 1;
}

size_t DisplayWidth(std::string_view utf8) {
  size_t width = 0;
  for (size_t at = 0; at < utf8.size();) {
    const Utf8Char read = ReadUtf8Char(utf8, at);
    // An invalid byte shows as one replacement character, or as an escape.
    width += read.valid ? static_cast<size_t>(CodePointWidth(read.code_point)) : read.length;
    at += read.length;
  }
  return width;
}

std::string PadToWidth(const std::string& text, size_t width) { return text + Spaces(text, width); }

std::string PadLeftToWidth(const std::string& text, size_t width) { return Spaces(text, width) + text; }

}  // namespace cli
