// The peer archivers (arj, 7zz) as black boxes for the tests. Every run has
// no terminal and a time limit: arj can hang on a crafted archive, and a
// run that timed out counts as a failure (exit status 124).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/bytes.h"
#include "tests/support/sample_data.h"

namespace testing_support {

bool ToolInstalled(const std::string& tool);
// True when a missing peer must fail the run rather than skip it.
bool RunningInCi();

// Runs `arj ARGS -y` inside `dir`; returns its exit code (0 fine, 1 warning).
int RunArj(const std::string& dir, const std::string& args, std::string* output = nullptr);
// Runs `7zz ARGS` inside `dir`.
int Run7zz(const std::string& dir, const std::string& args, std::string* output = nullptr);

// Archives `files` with `arj a -mMETHOD OPTIONS` in a temporary folder and
// returns the archive, or nothing if arj failed. Each option is quoted.
std::optional<Bytes> ArchiveWithArj(const std::vector<SampleFile>& files, int method,
                                    const std::vector<std::string>& options = {});

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
#define REQUIRE_PEER(tool)                                                         \
  do {                                                                             \
    if (!::testing_support::ToolInstalled(tool)) {                                 \
      if (::testing_support::RunningInCi()) FAIL() << (tool) << " is not installed"; \
      GTEST_SKIP() << (tool) << " is not installed";                               \
    }                                                                              \
  } while (0)
