// Running shell commands from tests.
#pragma once

#include <string>

namespace testing_support {

// Runs `command` through the shell, returning its exit status (-1 when it
// did not exit normally) and, when `output` is given, what it printed on
// stdout and stderr together.
int RunCommand(const std::string& command, std::string* output = nullptr);

// `s` in single quotes for the shell (it must hold none itself).
std::string Quote(const std::string& s);

}  // namespace testing_support
