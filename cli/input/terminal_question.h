// Questions put to the person at the terminal (/dev/tty), whatever stdin
// and stdout are bound to: a password, whether to replace a file.
#pragma once

#include <string>

namespace cli {

// Whether a person can be asked: stdin is a terminal.
bool CanAsk();

// Writes `prompt` (terminal-safe) and reads one line, without echo when
// `secret`; at most 511 bytes are kept. False when there is no terminal
// or it closed before a line ended.
bool AskTerminal(const std::string& prompt, bool secret, std::string* answer);

}  // namespace cli
