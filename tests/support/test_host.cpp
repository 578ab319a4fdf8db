#include "tests/support/test_host.h"

#include <sys/wait.h>

#include <cstdio>

#include "plugin/frame/registration.h"
#include "runtime/loader/plugin_loader.h"

namespace testing_support {

TestHost::TestHost() {
  runtime_.SetTraceSink([this](int32_t level, std::string_view text) { traces_.push_back({level, std::string(text)}); },
                        1000);
  arjrt::LoadResult load = arjrt::CallPluginEntry(runtime_, PluginEntry, "linked-in plug-in");
  EXPECT_TRUE(load.error.empty()) << load.error;
  baseline_objects_ = runtime_.live_object_count();
}

TestHost::~TestHost() {
  EXPECT_EQ(ExtraObjects(), 0u) << "objects left open:\n" << runtime_.DescribeLive();
  EXPECT_EQ(LiveBlocks(), 0u) << "memory blocks left allocated";
  EXPECT_TRUE(runtime_.leak_notes().empty()) << runtime_.DescribeLive();
}

std::string BuildPath(const std::string& name) { return std::string(ARJHOST_BUILD_DIR) + "/" + name; }
std::string SourcePath(const std::string& name) { return std::string(ARJHOST_SOURCE_DIR) + "/" + name; }

int RunCommand(const std::string& command, std::string* output) {
  output->clear();
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, n);
  int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace testing_support
