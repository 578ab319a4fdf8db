#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/state/archiver_state.h"
#include "plugin/frame/manifest.h"
#include "plugin/state/process_state.h"
#include "plugin/frame/registration.h"
#include "plugin/reader/archive_open.h"
#include "plugin/state/trace.h"
#include "runtime/api/archive.h"
#include "runtime/api/host.h"
#include "runtime/api/internal/host_state.h"
#include "runtime/common/md5.h"
#include "runtime/core/trace_format.h"
#include "runtime/loader/manifest_reader.h"
#include "runtime/loader/plugin_loader.h"
#include "tests/support/api_status.h"
#include "tests/support/archive_builder.h"
#include "tests/support/archiver_fixture.h"
#include "tests/support/bytes.h"
#include "tests/support/commands.h"
#include "tests/support/files.h"
#include "tests/support/test_host.h"

namespace {

using namespace testing_support;

using testing_support::TestHost;

const arjrt::Implementation& ArjImplementation(arjrt::Runtime& runtime) {
  const arjrt::Implementation* impl = runtime.registry().Find(IID_MINIARCHIVER, PID_ARJ);
  EXPECT_NE(impl, nullptr);
  return *impl;
}

TEST(Registration, TheHostSeesTheTablesAsRegistered) {
  TestHost host;
  const arjrt::Implementation& impl = ArjImplementation(host.runtime());
  EXPECT_EQ(impl.subtype, 0u);
  EXPECT_EQ(impl.version, 1u);
  EXPECT_EQ(impl.vendor, 65u);
  EXPECT_EQ(impl.instance_size, sizeof(ArchiverState));
  EXPECT_EQ(impl.method_count, 5u);
  EXPECT_EQ(impl.methods, &kMiniArchiverMethods);
  ASSERT_EQ(impl.property_count, 29u);
  const std::array<PropId, 29> ids = {
      PROP_INTERFACE_VERSION,   PROP_INTERFACE_COMMENT,   PROP_RESERVED_FLAG_1001,   PROP_OBJECT_NAME,
      PROP_OBJECT_NAME_SIZED,   PROP_OBJECT_PATH,         PROP_RESERVED_FLAG_1000,   PROP_RESERVED_DWORD_1000,
      PROP_RESTRICTED,          PROP_RESERVED_WORD,       PROP_RESERVED_FLAG_1011,   PROP_CAPABILITIES,
      PROP_RESERVED_VALUE_0049, PROP_OBJECT_SIZE,         PROP_HOST_BYTE,            PROP_HOST_WORD,
      PROP_OPEN_MODE,           PROP_ACCESS_MODE,         PROP_ARCHIVE_DIGEST,       PROP_ENTRY_SELECTOR,
      PROP_SCAN_ALL_VOLUMES,    PROP_VOLUME_NAME,         PROP_PACKED_SIZE,          PROP_OBJECT_CRC,
      PROP_ENTRY_METHOD,        PROP_ENTRY_ENCRYPTED,     PROP_NAME_CODE_PAGE,       PROP_NAME_SIZED_CODE_PAGE,
      PROP_PATH_CODE_PAGE};
  const std::array<uint32_t, 29> modes = {0x0C, 0x44, 0x0C, 0, 0, 0, 0x0C, 0x0C, 1, 1, 0x0C, 1, 4, 0, 3,
                                          3,    3,    3,    0, 2, 3, 0, 0,    0,    0, 0, 4,    4, 4};
  for (size_t i = 0; i < ids.size(); ++i) {
    EXPECT_EQ(impl.properties[i].id, ids[i]) << "row " << i + 1;
    EXPECT_EQ(impl.properties[i].mode, modes[i]) << "row " << i + 1;
    EXPECT_EQ(impl.properties[i].setter, nullptr) << "row " << i + 1;
  }
}

TEST(Registration, ConstantsAndStateFieldsThroughThePropertyTable) {
  TestHost host;
  testing_support::ArchiverFixture fixture(host);
  ASSERT_EQ(fixture.OpenMemory(testing_support::Concat({testing_support::MainHeader(), testing_support::EndMarker()})),
            RESULT_OK);
  ObjectRef archiver = fixture.archiver();
  ArchiverState& state = StateOf(archiver);
  EXPECT_EQ(host::GetPropDWord(archiver, PROP_INTERFACE_VERSION), 1u);
  EXPECT_EQ(host::GetPropDWord(archiver, PROP_RESERVED_DWORD_1000), 512u);
  EXPECT_EQ(host::GetPropDWord(archiver, PROP_RESERVED_VALUE_0049), 1u);
  EXPECT_EQ(host::GetPropDWord(archiver, PROP_RESERVED_FLAG_1000), 0u);
  EXPECT_EQ(static_cast<int32_t>(host::GetPropDWord(archiver, PROP_NAME_CODE_PAGE)), CP_ENTRY_NAMES);
  char comment[8] = {};
  uint32_t length = 0;
  EXPECT_EQ(archiver->system->GetPropString(archiver, &length, PROP_INTERFACE_COMMENT, comment, sizeof comment,
                                            CP_HOST_PATHS),
            RESULT_OK);
  EXPECT_STREQ(comment, "ARJ");
  EXPECT_EQ(length, 4u);

  // Fields the host writes land in the record; fields it reads come from it.
  constexpr uint32_t kOpenModes = OPEN_EXISTING | OPEN_CREATE | OPEN_TRUNCATE;
  EXPECT_EQ(host::SetPropDWord(archiver, PROP_SCAN_ALL_VOLUMES, 1), RESULT_OK);
  EXPECT_EQ(host::SetPropQWord(archiver, PROP_ENTRY_SELECTOR, 0x0000000300000002ull), RESULT_OK);
  EXPECT_EQ(host::SetPropDWord(archiver, PROP_HOST_BYTE, 0x1FF), RESULT_OK);
  EXPECT_EQ(host::SetPropDWord(archiver, PROP_HOST_WORD, 0x12345), RESULT_OK);
  EXPECT_EQ(host::SetPropDWord(archiver, PROP_OPEN_MODE, kOpenModes), RESULT_OK);
  EXPECT_EQ(state.scan_all_volumes, 1u);
  EXPECT_EQ(state.entry_selector, 0x0000000300000002ull);
  EXPECT_EQ(state.host_byte, 0xFF) << "a byte field takes the low byte";
  EXPECT_EQ(state.host_word, 0x2345);
  EXPECT_EQ(state.open_mode, kOpenModes);
  EXPECT_EQ(state.reserved_property_word, 0u);
  state.capabilities = kCapabilitiesAfterInit;
  state.restricted = 1;
  EXPECT_EQ(host::GetPropDWord(archiver, PROP_CAPABILITIES), kCapabilitiesAfterInit);
  EXPECT_EQ(host::GetPropDWord(archiver, PROP_RESTRICTED), 1u);
  EXPECT_EQ(host::SetPropDWord(archiver, PROP_RESTRICTED, 0), ERR_ACCESS_DENIED) << "read-only for the host";
  EXPECT_EQ(state.restricted, 1u);
}

// ---- A root object of our own, to watch the entry point's calls --------------

struct FakeRoot {
  ResultCode register_result = RESULT_OK;
  int resolve_export_calls = 0;
  std::vector<testing_support::TraceLine> traces;
};
FakeRoot* g_fake = nullptr;

ResultCode FakeTrace(ObjectRef, int32_t level, const char* format, va_list* args) {
  g_fake->traces.push_back({level, arjrt::FormatTrace(format, args)});
  return RESULT_OK;
}
ResultCode FakeRegister(ObjectRef, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, const void*, uint32_t,
                        const void*, uint32_t, const PropertyRow*, uint32_t, uint32_t, uint32_t) {
  return g_fake->register_result;
}
ResultCode FakeResolveImports(ObjectRef, uint32_t, const ImportRow*, uint32_t) { return RESULT_OK; }
ResultCode FakeResolveExport(ObjectRef, HostFunction* variable, uint32_t, uint32_t id, uint32_t) {
  ++g_fake->resolve_export_calls;
  if (id == FN_TRACE) *variable = reinterpret_cast<HostFunction>(&FakeTrace);
  return RESULT_OK;
}
const RootMethods kFakeRootMethods = {FakeRegister, FakeResolveImports, FakeResolveExport};

class EntryPointTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_fake = &fake_;
    saved_trace_ = plugin_process::trace_function;
    plugin_process::trace_function = nullptr;
    root_.methods = &kFakeRootMethods;
  }
  void TearDown() override {
    plugin_process::trace_function = saved_trace_;
  }
  FakeRoot fake_;
  HostObject root_{};
  HostFunction saved_trace_;
};

TEST_F(EntryPointTest, OtherReasonsDoNothing) {
  ResultCode result = 12345;
  EXPECT_TRUE(PluginEntry(&root_, 1, &result));
  EXPECT_TRUE(PluginEntry(&root_, 0, &result));
  EXPECT_EQ(result, 12345);
  EXPECT_EQ(plugin_process::trace_function, nullptr) << "nothing resolved";
}

TEST_F(EntryPointTest, TraceBeforeLoadIsRefusedAndResolutionHappensOnce) {
  EXPECT_EQ(Trace(&root_, 400, "x"), ERR_UNSUPPORTED);
  EXPECT_EQ(fake_.resolve_export_calls, 0);
  ResultCode result = 1;
  ASSERT_TRUE(PluginEntry(&root_, PLUGIN_REASON_LOAD, &result));
  EXPECT_EQ(result, RESULT_OK);
  EXPECT_EQ(Trace(&root_, 400, "arj\tvolumes count %d", 2), RESULT_OK);
  EXPECT_EQ(Trace(&root_, 400, "again"), RESULT_OK);
  EXPECT_EQ(fake_.resolve_export_calls, 1);
  ASSERT_EQ(fake_.traces.size(), 2u);
  EXPECT_EQ(fake_.traces[0].text, "arj\tvolumes count 2");
}

TEST_F(EntryPointTest, FailedRegistrationTracesTwiceAndReturnsFalse) {
  fake_.register_result = ERR_LIMIT_EXCEEDED;
  ResultCode result = 0;
  EXPECT_FALSE(PluginEntry(&root_, PLUGIN_REASON_LOAD, &result));
  EXPECT_EQ(result, ERR_LIMIT_EXCEEDED);
  ASSERT_EQ(fake_.traces.size(), 2u);
  EXPECT_EQ(fake_.traces[0].level, 200);
  EXPECT_EQ(fake_.traces[0].text, "MiniArchiver(IID_MINIARCHIVER) registered [error=0x80000058]");
  EXPECT_EQ(fake_.traces[1].level, 300);
  EXPECT_EQ(fake_.traces[1].text, "cannot register \"MiniArchiver\" interface");
}

TEST(Registration, ASecondRegistrationOfTheSameIdsFailsThroughTheLoader) {
  TestHost host;
  arjrt::LoadResult again = arjrt::CallPluginEntry(host.runtime(), PluginEntry, "second copy");
  EXPECT_EQ(again.result, ERR_LIMIT_EXCEEDED);
  EXPECT_NE(again.error.find("registration failed"), std::string::npos) << again.error;
  ASSERT_GE(host.traces().size(), 2u);
  EXPECT_EQ(host.traces()[host.traces().size() - 2].level, 200);
  EXPECT_EQ(host.traces().back().level, 300);
}

// ---- The manifest --------------------------------------------------------------

TEST(Manifest, LayoutAndDigest) {
  std::vector<uint8_t> m(kManifest.begin(), kManifest.end());
  ASSERT_EQ(m.size(), 168u);
  EXPECT_EQ(std::memcmp(m.data(), "Tamrik\0metadata\0", 16), 0);
  std::array<uint8_t, 16> digest = arjrt::Md5Of(m.data(), kManifestDigestOffset);
  EXPECT_EQ(std::memcmp(digest.data(), m.data() + kManifestDigestOffset, 16), 0);
  arjrt::ManifestCheck check = arjrt::CheckManifest(m);
  EXPECT_TRUE(check.ok);
  EXPECT_EQ(check.plugin_id, PID_ARJ);
  EXPECT_EQ(check.interface_id, IID_MINIARCHIVER);
  EXPECT_EQ(check.property_count, 6u);
  // The manifest lists PROP_RESERVED_DWORD_0049 with 0 while the table has
  // PROP_RESERVED_VALUE_0049 with 1.
  uint32_t last_id, last_value;
  std::memcpy(&last_id, m.data() + 140, 4);
  std::memcpy(&last_value, m.data() + 148, 4);
  EXPECT_EQ(last_id, PROP_RESERVED_DWORD_0049);
  EXPECT_EQ(last_value, 0u);
}

TEST(Manifest, DamageIsFound) {
  std::vector<uint8_t> m(kManifest.begin(), kManifest.end());
  for (size_t at : {size_t{3}, size_t{16}, size_t{40}, size_t{100}, size_t{160}}) {
    std::vector<uint8_t> bad = m;
    bad[at] ^= 0x01;
    EXPECT_FALSE(arjrt::CheckManifest(bad).ok) << "byte " << at;
  }
  m[84] = 0xFF;  // the second record's length runs past the end
  m[85] = 0xFF;
  EXPECT_FALSE(arjrt::CheckManifest(m).ok);
  EXPECT_FALSE(arjrt::CheckManifest(std::vector<uint8_t>(20)).ok);
}

TEST(Manifest, TheLibraryFileCarriesItAndTheVersionResource) {
  arjhost::ManifestInfo info = arjhost::Host::ReadManifest(testing_support::BuildPath("libarj_plugin.so"));
  ASSERT_TRUE(info.present) << info.error;
  EXPECT_TRUE(info.ok);
  EXPECT_EQ(info.length, 168u);
  EXPECT_EQ(info.version_strings,
            (std::vector<std::string>{"FileDescription=ARJ MiniArchiver plugin", "InternalName=ARJ"}));
}

// ---- Loading the shared library ---------------------------------------------------

TEST(Loader, LoadsTheSharedLibraryAndReportsBadFiles) {
  arjhost::Host host;
  EXPECT_TRUE(testing_support::IsOk(host.LoadPlugin(testing_support::BuildPath("libarj_plugin.so"))));
  auto impls = host.PluginImplementations();
  ASSERT_EQ(impls.size(), 1u);
  EXPECT_EQ(impls[0].plugin_id, PID_ARJ);
  EXPECT_EQ(impls[0].interface_id, IID_MINIARCHIVER);

  const struct {
    std::string path;
    arjhost::Code code;
    const char* said;
  } bad[] = {
      {"/nonexistent/libarj_plugin.so", arjhost::Code::kNotFound, "not found"},
      {testing_support::SourcePath("CMakeLists.txt"), arjhost::Code::kUnsupported, "not a loadable library"},
      {"/lib/x86_64-linux-gnu/libm.so.6", arjhost::Code::kUnsupported, "not a plug-in"},
  };
  arjhost::Host other;
  for (const auto& b : bad) {
    const arjhost::Status loaded = other.LoadPlugin(b.path);
    EXPECT_EQ(loaded.code, b.code) << b.path << ": " << loaded.message;
    EXPECT_NE(loaded.message.find(b.said), std::string::npos) << loaded.message;
  }
}

// Hosts load the one plug-in library of the process by turns and go away
// in any order (one per handle of the C API): the plug-in keeps nothing of
// a host that is gone, and one that loaded it earlier traces on (a sanitizer
// build would see a gone host's root read by the first trace).
TEST(Loader, AHostGoneLeavesTheOthersTracing) {
  arjhost::Host first;
  const arjhost::Status loaded = first.LoadPlugin(testing_support::BuildPath("libarj_plugin.so"));
  ASSERT_TRUE(loaded.ok()) << loaded.message;
  std::vector<std::string> traces;
  arjhost::HostAccess::RuntimeOf(first).SetTraceSink(
      [&traces](int32_t, std::string_view text) { traces.emplace_back(text); }, 400);
  {
    arjhost::Host gone;
    ASSERT_TRUE(gone.LoadPlugin(testing_support::BuildPath("libarj_plugin.so")).ok());
  }
  arjhost::OpenResult opened =
      arjhost::Archive::OpenFile(first, testing_support::SourcePath("tests/data/split.arj"), {});
  ASSERT_TRUE(opened.ok()) << opened.status.message;
  EXPECT_EQ(opened.archive->state().volumes.size(), 3u);
  ASSERT_FALSE(traces.empty());
  EXPECT_NE(traces.front().find("volumes"), std::string::npos) << traces.front();
}

TEST(PluginInfoCommand, PrintsIdsAndChecksTheManifest) {
  std::string out;
  int status = testing_support::RunCommand(testing_support::BuildPath("arjhost") + " plugin-info", &out);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("plug-in id: 63035"), std::string::npos) << out;
  EXPECT_NE(out.find("interface id: 63003"), std::string::npos) << out;
  EXPECT_NE(out.find("manifest ok"), std::string::npos) << out;
  status = testing_support::RunCommand(
      testing_support::BuildPath("arjhost") + " plugin-info --plugin /nonexistent/x.so", &out);
  EXPECT_EQ(status, 2);
  EXPECT_NE(out.find("/nonexistent/x.so: plug-in file not found"), std::string::npos) << out;
}

}  // namespace
