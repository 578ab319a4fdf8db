#include "tests/support/test_host.h"

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

}  // namespace testing_support
