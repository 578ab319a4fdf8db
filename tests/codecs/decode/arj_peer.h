// Runs the installed `arj` to make archives for the tests.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/codecs/decode/sample_files.h"

namespace arjrt::test {

bool ArjInstalled();
bool RunningInCi();

// Archives `files` with `arj a -mMETHOD` in a scratch folder and returns the
// archive image, or nothing if arj failed. `options` are further arguments,
// given to the shell inside single quotes.
std::optional<std::vector<uint8_t>> ArchiveWithArj(const std::vector<SampleFile>& files, int method,
                                                   const std::vector<std::string>& options = {});

}  // namespace arjrt::test

// Skips the test when arj is missing, except in CI where it must be there.
#define REQUIRE_ARJ()                                                      \
  do {                                                                     \
    if (!::arjrt::test::ArjInstalled()) {                                  \
      if (::arjrt::test::RunningInCi()) {                                  \
        FAIL() << "arj is not installed";                                  \
      }                                                                    \
      GTEST_SKIP() << "arj is not installed";                              \
    }                                                                      \
  } while (0)
