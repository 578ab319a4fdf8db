// Formatting of the host's trace lines.
#pragma once

#include <cstdarg>
#include <string>

namespace arjrt {

// printf-like: %d %i %u %x %X %c %s %p %% with an optional '0' flag and
// width, and %terr, which formats a ResultCode as DescribeResult does.
std::string FormatTrace(const char* format, va_list* args);

}  // namespace arjrt
