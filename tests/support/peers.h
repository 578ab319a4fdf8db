// The peer archivers (arj, 7zz) as black boxes for the tests.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace testing_support {

bool ToolInstalled(const std::string& tool);
bool RunningInCi();

// Runs `arj ARGS` inside `dir` with -y and no terminal; returns its exit code.
int RunArj(const std::string& dir, const std::string& args, std::string* output = nullptr);

// One entry as `7zz l -slt` lists it.
struct PeerEntry {
  std::string path;
  uint64_t size = 0;
  uint64_t packed = 0;
  uint32_t crc = 0;
  uint32_t method = 0;
  bool encrypted = false;
};
// The entries of one volume (7zz reads a volume as an archive of its own).
std::vector<PeerEntry> ListWith7zz(const std::string& archive);

// The "Key = value" blocks of a listing such as `7zz l -slt` or
// `arjhost list -v` prints, one map per entry (from each "Path = " line on,
// after `start` when it is given).
std::vector<std::map<std::string, std::string>> FieldBlocks(const std::string& listing, const std::string& start = "");

}  // namespace testing_support

// Skips the test when the peer is missing, except in CI where it must be there.
#define REQUIRE_PEER(tool)                                                      \
  do {                                                                          \
    if (!::testing_support::ToolInstalled(tool)) {                              \
      if (::testing_support::RunningInCi()) FAIL() << tool << " is not installed"; \
      GTEST_SKIP() << tool << " is not installed";                              \
    }                                                                           \
  } while (0)
