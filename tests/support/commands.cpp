#include "tests/support/commands.h"

#include <sys/wait.h>

#include <cstdio>

namespace testing_support {

int RunCommand(const std::string& command, std::string* output) {
  std::string ignored;
  std::string& out = output != nullptr ? *output : ignored;
  out.clear();
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

}  // namespace testing_support
