#include "cli/output/text_tools.h"

#include <algorithm>
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
  // Printable ASCII without a backslash, most names: as it is.
  if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return c >= 0x20 && c < 0x7F && c != '\\'; }))
    return std::string(utf8);
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
  const int year = local.tm_year + 1900;
  if (year < 1000 || year > 9999) {
    char text[32];
    if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0) return "-";
    return text;
  }
  // As strftime's "%Y-%m-%d %H:%M:%S" gives it, a listing's every row.
  char text[] = "YYYY-MM-DD hh:mm:ss";
  const auto put = [&text](size_t at, int value, int digits) {
    for (int k = digits - 1; k >= 0; --k, value /= 10)
      text[at + static_cast<size_t>(k)] = static_cast<char>('0' + value % 10);
  };
  put(0, year, 4);
  put(5, local.tm_mon + 1, 2);
  put(8, local.tm_mday, 2);
  put(11, local.tm_hour, 2);
  put(14, local.tm_min, 2);
  put(17, local.tm_sec, 2);
  return text;
}

}  // namespace cli
