// --json when a command fails before it has printed its document (the
// archive cannot be opened, bad usage, ...): the messages still go to
// stderr, and stdout gets one object with the command, the archive and
// the error it failed with (messages.h), so that a script always has a
// document to read.
#pragma once

#include <string>

namespace cli {

// {"command": ..., "archive": ..., "error": ...} on stdout; an empty
// command or archive is null. As a line (--json-lines): compact, with
// "ok": false.
void PrintFailureJson(const std::string& command, const std::string& archive, const std::string& error,
                      bool line = false);

}  // namespace cli
