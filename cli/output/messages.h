// Everything the tool writes for a person passes through here, so that the
// progress line is cleared before any other output, and a --json failure
// document can name the last error without anyone watching stderr.
#pragma once

#include <iosfwd>
#include <string>

namespace cli {

// The tool's message function: writes the formatted text (one or more
// whole lines, ending in '\n') to stderr after clearing the progress line,
// and keeps its last line. Names in it must be terminal-safe already
// (ShowName, ShowPath).
void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same on stdout, for the tool's own report lines ("ok  name").
void Print(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The last line said, without its "arjhost: " or "arjhost COMMAND: "
// prefix; "" when none.
std::string LastErrorMessage();

// The progress line: `text` in place of the one shown before (stderr must
// be a terminal; the caller checks). Safe from any thread.
void ShowStatusLine(const std::string& text);
// Removes the progress line, if one is shown; Say and Print do it themselves.
void ClearStatusLine();

// Where a JSON document goes (on to std::cout), noting whether any of it
// was written.
std::ostream& DocumentStream();
bool DocumentWritten();

}  // namespace cli
