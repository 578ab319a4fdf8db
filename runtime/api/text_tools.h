// Text helpers for embedders: names for display, results in words, times,
// and JSON output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/api/json_writer.h"

namespace arjhost {

// True when `text` is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);
// Decodes `bytes` in code page 437, 850, 866 or 65001 (UTF-8) into UTF-8.
std::string DecodeToUtf8(std::string_view bytes, int codepage);
// A stored name as UTF-8: as it is when it is valid UTF-8, else decoded
// from `fallback_codepage`.
std::string DisplayName(std::string_view stored, int fallback_codepage = 437);

// "not found", "corrupted data", ... for a result code.
const char* ResultName(int32_t result);
// "0x800000C5 (not found)".
std::string DescribeResult(int32_t result);

// "YYYY-MM-DD HH:MM:SS" in local time; "-" when it cannot be shown.
std::string LocalTimeText(int64_t unix_seconds);

// Text made safe for a terminal: control characters (C0, DEL, C1),
// bidirectional overrides and a backslash written as escapes (\n, \x1b,
// \u202e, \\); invalid bytes as \xNN.
std::string TerminalText(std::string_view utf8);

}  // namespace arjhost
