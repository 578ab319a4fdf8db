// A runtime with the plug-in linked in, for tests: it records trace lines
// and checks at teardown that everything the test created was released.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/host/host_objects.h"
#include "runtime/api/internal/builtin_services.h"
#include "runtime/core/runtime.h"

namespace testing_support {

struct TraceLine {
  int32_t level;
  std::string text;
};

class TestHost {
 public:
  TestHost();
  ~TestHost();

  arjrt::Runtime& runtime() { return runtime_; }
  ObjectRef root() { return runtime_.root(); }
  const std::vector<TraceLine>& traces() const { return traces_; }
  void ClearTraces() { traces_.clear(); }

  // Objects and blocks alive beyond the root and the built-in baseline.
  size_t ExtraObjects() const { return runtime_.live_object_count() - baseline_objects_; }
  size_t LiveBlocks() const { return runtime_.live_block_count(); }

 private:
  arjrt::Runtime runtime_{arjrt::RegisterBuiltinServices};
  std::vector<TraceLine> traces_;
  size_t baseline_objects_ = 0;
};

}  // namespace testing_support
