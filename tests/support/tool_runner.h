// Running the built arjhost from a test, and checking its JSON output.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testing_support {

std::string Tool();
// Runs `arjhost ARGS` without a terminal; `out` gets stdout and stderr together.
int RunTool(const std::string& args, std::string* out);
// The same inside the folder `dir`.
int RunToolIn(const std::string& dir, const std::string& args, std::string* out = nullptr);
// The same with stdout alone in `out`.
int RunToolStdout(const std::string& args, std::string* out);
// Runs `arjhost ARGS` inside `dir` on a terminal of its own (a pseudo-
// terminal for stdin, stdout and stderr), as a person would: each answer
// is typed once the output since the one before shows its prompt (first:
// the prompt; second: what is typed, without the newline). `out` gets
// everything the terminal showed. A prompt that never comes fails the run
// after 20 seconds (exit status 124).
int RunToolOnTerminal(const std::string& dir, const std::string& args,
                      const std::vector<std::pair<std::string, std::string>>& answers, std::string* out);
// The Python interpreter to run checks with, quoted for a shell.
std::string Python();
// Whether `json` parses as one document and the Python expression `check`
// holds for it (bound to `d`).
bool JsonSatisfies(const std::string& json, const std::string& check = "True");

}  // namespace testing_support
