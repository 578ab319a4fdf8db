// The embedding API's Status as GoogleTest shows it: a failed check names
// the code and the message.
#pragma once

#include <gtest/gtest.h>

#include <ostream>

#include "runtime/api/status.h"

namespace arjhost {

inline void PrintTo(Code code, std::ostream* out) { *out << CodeName(code); }

}  // namespace arjhost

namespace testing_support {

inline ::testing::AssertionResult IsOk(const arjhost::Status& status) {
  if (status.ok()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << arjhost::CodeName(status.code) << ": " << status.message;
}

}  // namespace testing_support
