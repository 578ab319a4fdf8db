// Running the built arjhost from a test, and checking its JSON output.
#pragma once

#include <string>

namespace testing_support {

std::string Tool();
// Runs `arjhost ARGS` without a terminal; `out` gets stdout and stderr together.
int RunTool(const std::string& args, std::string* out);
// The same inside the folder `dir`.
int RunToolIn(const std::string& dir, const std::string& args, std::string* out = nullptr);
// The same with stdout alone in `out`.
int RunToolStdout(const std::string& args, std::string* out);
// Whether `json` parses as one document and the Python expression `check`
// holds for it (bound to `d`).
bool JsonSatisfies(const std::string& json, const std::string& check = "True");

}  // namespace testing_support
