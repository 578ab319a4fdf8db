// --json when a command fails before it has printed its document (the
// archive cannot be opened, bad usage, ...): the messages still go to
// stderr, and stdout gets one object with the command, the archive and
// the error, so that a script always has a document to read.
#pragma once

#include <string>

namespace cli {

// While alive, keeps the last line written to stderr and notes whether
// anything was written to std::cout. One at a time.
class FailureCapture {
 public:
  FailureCapture();
  ~FailureCapture();
  FailureCapture(const FailureCapture&) = delete;
  FailureCapture& operator=(const FailureCapture&) = delete;

  bool DocumentWritten() const;

 private:
  struct Hooks;
  Hooks* hooks_;
};

// The last message written to stderr while a FailureCapture is alive,
// without its "arjhost: " or "arjhost COMMAND: " prefix; "" when none.
std::string LastErrorMessage();

// {"command": ..., "archive": ..., "error": ...} on stdout; an empty
// command or archive is null.
void PrintFailureJson(const std::string& command, const std::string& archive, const std::string& error);

}  // namespace cli
