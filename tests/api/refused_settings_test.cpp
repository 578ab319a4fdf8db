// The embedding API over a host that does not take a setting: an object
// left with a default path, mode, window or volume choice would open or
// list something else than asked for, so the step fails instead.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/api/archive.h"
#include "runtime/api/internal/host_state.h"
#include "runtime/core/runtime.h"
#include "runtime/services/services.h"
#include "tests/support/api_status.h"
#include "tests/support/bytes.h"
#include "tests/support/files.h"
#include "tests/support/refusing_host.h"

namespace testing_support {
namespace {

class RefusedSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(IsOk(host_.LoadPlugin(BuildPath("libarj_plugin.so"))));
  }
  arjhost::Host host_;
  TempDir dir_;
};

TEST_F(RefusedSettings, OpeningFailsWithTheHostsAnswer) {
  // A self-extracting archive: a stub before the main header.
  const Bytes archive = DataFile("method1.arj");
  WriteFile(dir_.File("sfx.arj"), Concat({Bytes(300, 'Z'), archive}));
  const struct {
    PropId prop;
    bool from_memory;
  } cases[] = {
      {PROP_OBJECT_PATH, false},
      {PROP_ACCESS_MODE, false},
      {PROP_OPEN_MODE, false},
      {PROP_WINDOW_OFFSET, false},
      {PROP_WINDOW_SIZE, false},
      {PROP_WINDOW_BASE, false},
      {PROP_SCAN_ALL_VOLUMES, false},
      {arjrt::PROP_MEMORY_VIEW_ADDRESS, true},
      {arjrt::PROP_MEMORY_VIEW_SIZE, true},
      {PROP_OBJECT_NAME, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "property 0x" << std::hex << c.prop);
    RefusingHost refusing(arjhost::HostAccess::RuntimeOf(host_).root());
    refusing.RefuseProperty(c.prop);
    arjhost::OpenOptions options;
    options.name = "named.arj";
    const arjhost::OpenResult opened = c.from_memory
                                           ? arjhost::Archive::OpenMemory(host_, archive.data(), archive.size(), options)
                                           : arjhost::Archive::OpenFile(host_, dir_.File("sfx.arj"), {});
    EXPECT_EQ(opened.archive, nullptr);
    EXPECT_EQ(opened.status.host_result, kRefused);
    EXPECT_EQ(opened.status.code, arjhost::Code::kIoError);
    EXPECT_NE(opened.status.message.find("cannot be opened"), std::string::npos) << opened.status.message;
    EXPECT_EQ(refusing.refusals(), 1u);
    EXPECT_EQ(arjhost::HostAccess::RuntimeOf(host_).live_block_count(), 0u);
  }
}

// A rewrite of a self-extracting archive writes through a window past the
// stub: one that did not take its offset, size or base would write the
// archive over the stub or nowhere, so the rewrite fails and the file stays.
TEST_F(RefusedSettings, ARewriteAfterAStubFailsWhenItsWindowRefusesASetting) {
  const Bytes sfx = Concat({Bytes(300, 'Z'), DataFile("method1.arj")});
  for (PropId prop : {PROP_WINDOW_OFFSET, PROP_WINDOW_SIZE, PROP_WINDOW_BASE}) {
    SCOPED_TRACE(::testing::Message() << "property 0x" << std::hex << prop);
    const std::string path = dir_.File("sfx.arj");
    WriteFile(path, sfx);
    arjhost::OpenResult opened = arjhost::Archive::OpenFile(host_, path, {});
    ASSERT_TRUE(IsOk(opened.status));
    std::unique_ptr<arjhost::Archive>& archive = opened.archive;
    const std::vector<arjhost::EntryInfo> entries = archive->Entries();
    ASSERT_FALSE(entries.empty());
    arjhost::ChangeSet changes;
    changes.dropped.insert(entries.front().handle);
    RefusingHost refusing(arjhost::HostAccess::RuntimeOf(host_).root());
    refusing.RefuseProperty(prop);
    const arjhost::Status rebuilt = archive->Rebuild(changes, path);
    EXPECT_EQ(rebuilt.host_result, kRefused);
    EXPECT_NE(rebuilt.message.find("cannot be written"), std::string::npos) << rebuilt.message;
    EXPECT_EQ(refusing.refusals(), 1u);
    archive.reset();
    EXPECT_EQ(ReadFile(path), sfx);
  }
}

// Not taken, the entry selector would answer for another entry: a split
// entry then has no parts to check. The headers need no selector: each
// entry takes the one of its own row, never another's.
TEST_F(RefusedSettings, ASelectorNotTakenListsNoPartsOrHeadersOfOtherEntries) {
  RefusingHost refusing(arjhost::HostAccess::RuntimeOf(host_).root());  // opening sets no selector
  refusing.RefuseProperty(PROP_ENTRY_SELECTOR);
  arjhost::OpenResult opened = arjhost::Archive::OpenFile(host_, Data("split.arj"), {});
  ASSERT_TRUE(IsOk(opened.status));
  const std::vector<arjhost::EntryInfo> entries = opened.archive->Entries();
  ASSERT_EQ(entries.size(), 2u);
  for (const arjhost::EntryInfo& e : entries) {
    SCOPED_TRACE(e.name);
    EXPECT_TRUE(e.header_known);
    if (e.name == "big.bin") {
      EXPECT_TRUE(e.parts.empty());
    }
  }
  EXPECT_GE(refusing.refusals(), 1u);
}

}  // namespace
}  // namespace testing_support
