#include "cli/output/text_tools.h"

#include <ctime>

#include "cli/output/utf8_reading.h"

namespace cli {
namespace {

// Marks that reorder the text around them: a name could show as another.
bool ReordersText(char32_t c) {
  return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F || c == 0x061C;
}

}  // namespace

std::string TerminalText(std::string_view utf8) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    const Utf8Char read = ReadUtf8Char(utf8, pos);
    const char32_t c = read.code_point;
    if (!read.valid) {
      // Byte by byte: each one the terminal would have been sent.
      const auto byte = static_cast<unsigned char>(utf8[pos]);
      out += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
      ++pos;
      continue;
    }
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else if (c == '\\') out += "\\\\";
    else if (c < 0x20 || c == 0x7F) out += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
    else if ((c >= 0x80 && c < 0xA0) || ReordersText(c))
      out += {'\\', 'u', kHex[(c >> 12) & 15], kHex[(c >> 8) & 15], kHex[(c >> 4) & 15], kHex[c & 15]};
    else out.append(utf8.substr(pos, read.length));
    pos += read.length;
  }
  return out;
}

std::string LocalTimeText(int64_t unix_seconds) {
  const std::time_t t = static_cast<std::time_t>(unix_seconds);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return "-";
  char text[32];
  if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0) return "-";
  return text;
}

}  // namespace cli
