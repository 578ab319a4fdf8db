// Text for a person at a terminal: what an archive says, made safe to show,
// and times in local time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace cli {

// Text made safe for a terminal: control characters (C0, DEL, C1),
// bidirectional overrides and a backslash written as escapes (\n, \x1b,
// \u202e, \\), so that a name can neither move the cursor, recolour the
// screen nor forge a line; invalid bytes as \xNN.
std::string TerminalText(std::string_view utf8);

// "YYYY-MM-DD HH:MM:SS" in local time; "-" when it cannot be shown.
std::string LocalTimeText(int64_t unix_seconds);

}  // namespace cli
