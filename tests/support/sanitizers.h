// Whether the tests run under AddressSanitizer, where the code under test
// runs several times slower. A test that sweeps many positions of one
// input takes a sparser sample there: the plain build runs the full sweep,
// and the fuzzers search the same code under the sanitizers at length.
#pragma once

#include <cstddef>

namespace testing_support {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kUnderSanitizers = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kUnderSanitizers = true;
#else
inline constexpr bool kUnderSanitizers = false;
#endif
#else
inline constexpr bool kUnderSanitizers = false;
#endif

// A test of sizes or choices, which the encoders make alike in every
// build, runs in the plain build alone: the sanitizer build runs the code
// that can fault (and encodes the same kinds of data in other tests).
#define SKIP_UNDER_SANITIZERS() \
  if (::testing_support::kUnderSanitizers) GTEST_SKIP() << "sizes are the plain build's to check"

// How many evenly spread positions a sweep takes: `plain`, or `sanitized`
// under the sanitizers.
constexpr size_t SweepPoints(size_t plain, size_t sanitized) { return kUnderSanitizers ? sanitized : plain; }

}  // namespace testing_support
