// Running the installed peer archivers (arj, 7zz) from tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace arjtest {

bool ToolInstalled(const std::string& name);
// True when a missing peer must fail the run rather than skip it.
bool RunningInCi();

// Runs `command` through the shell with no terminal and its output
// discarded; returns its exit code (-1 if it did not exit normally).
int RunQuietly(const std::string& command);

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// A fresh directory under the test temp folder, removed on destruction.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace arjtest

// Skips the test when `tool` is missing, or fails it when CI=true.
#define REQUIRE_PEER_TOOL(tool)                                          \
  do {                                                                   \
    if (!::arjtest::ToolInstalled(tool)) {                               \
      if (::arjtest::RunningInCi()) FAIL() << (tool) << " is missing";   \
      GTEST_SKIP() << (tool) << " is not installed; peer check skipped"; \
    }                                                                    \
  } while (0)
