#include "runtime/core/trace_format.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "runtime/core/result_names.h"

namespace arjrt {
namespace {

void Pad(std::string& out, const std::string& digits, bool zero, int width) {
  if (static_cast<int>(digits.size()) < width) out.append(width - digits.size(), zero ? '0' : ' ');
  out += digits;
}

}  // namespace

std::string FormatTrace(const char* format, va_list* args) {
  std::string out;
  if (format == nullptr) return out;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      out += *p;
      continue;
    }
    ++p;
    if (*p == '%') {
      out += '%';
      continue;
    }
    if (std::strncmp(p, "terr", 4) == 0) {
      out += DescribeResult(static_cast<int32_t>(va_arg(*args, int)));
      p += 3;
      continue;
    }
    bool zero = false;
    int width = 0;
    if (*p == '0') zero = true, ++p;
    while (*p >= '0' && *p <= '9' && width < 64) width = width * 10 + (*p++ - '0');
    char buf[32];
    switch (*p) {
      case 'd':
      case 'i':
        std::snprintf(buf, sizeof buf, "%d", va_arg(*args, int));
        Pad(out, buf, zero, width);
        break;
      case 'u':
        std::snprintf(buf, sizeof buf, "%u", va_arg(*args, unsigned));
        Pad(out, buf, zero, width);
        break;
      case 'x':
      case 'X':
        std::snprintf(buf, sizeof buf, *p == 'x' ? "%x" : "%X", va_arg(*args, unsigned));
        Pad(out, buf, zero, width);
        break;
      case 'c':
        out += static_cast<char>(va_arg(*args, int));
        break;
      case 'p':
        std::snprintf(buf, sizeof buf, "%p", va_arg(*args, void*));
        out += buf;
        break;
      case 's': {
        const char* s = va_arg(*args, const char*);
        Pad(out, s != nullptr ? s : "(null)", false, width);
        break;
      }
      case '\0':
        return out;
      default:  // an unknown conversion is shown, not interpreted
        out += '%';
        out += *p;
    }
  }
  return out;
}

}  // namespace arjrt
