// Everything the tool writes for a person passes through here, so that the
// progress line is cleared before any other output, and the error a command
// failed with is kept as said, for a --json failure document to name.
// Archives checked side by side each write on a thread of their own, into
// their place in an OrderedOutput (JobOutputScope).
#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "cli/output/ordered_output.h"

namespace cli {

// The tool's message function: writes the formatted text (one or more
// whole lines, ending in '\n') to stderr after clearing the progress line.
// Names in it must be terminal-safe already (ShowName, ShowPath).
void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same on stdout, for the tool's own report lines ("ok  name").
void Print(const char* format, ...) __attribute__((format(printf, 1, 2)));

// An error, or a problem that makes the exit code other than 0: said as
// "arjhost: TEXT" (`command` empty) or "arjhost COMMAND: TEXT", one line,
// and TEXT (the formatted text, without a line break) kept as the error.
void SayError(const std::string& command, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The last error said (SayError) on this thread's job (or by the command,
// outside of jobs), as its text; "" when none.
std::string LastError();

// The progress line: `text` in place of the one shown before (stderr must
// be a terminal; the caller checks). Safe from any thread. A job whose
// output is held back shows none.
void ShowStatusLine(const std::string& text);
// Removes the progress line, if one is shown; Say and Print do it themselves.
void ClearStatusLine();

// Where a JSON document goes (on to std::cout, or the job's place),
// noting whether any of it was written.
std::ostream& DocumentStream();
bool DocumentWritten();

// Writes `text` at once, the progress line cleared first: what an
// OrderedOutput writes a job's text with in its turn.
void WriteNow(Channel channel, const std::string& text);

// While it lasts, what the calling thread writes (Say, Print, SayError,
// DocumentStream, the progress line) is the output of job `job` of
// `output`, and SayError's text that job's LastError. Its end writes out
// the job's document text and marks the job done.
class JobOutputScope {
 public:
  JobOutputScope(OrderedOutput& output, size_t job);
  ~JobOutputScope();
  JobOutputScope(const JobOutputScope&) = delete;
  JobOutputScope& operator=(const JobOutputScope&) = delete;

  struct Job;

 private:
  std::unique_ptr<Job> job_;
};

}  // namespace cli
