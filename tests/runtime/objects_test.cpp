#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "runtime/api/internal/builtin_services.h"
#include "runtime/core/implementation.h"
#include "runtime/core/runtime.h"

namespace {

// A probe implementation that records its hooks in a shared log.
std::vector<std::string>* g_log = nullptr;

struct ProbeState {
  uint32_t value;
  uint64_t wide;
  ObjectRef link;
  uint32_t fail_done;
};

ResultCode ProbeInit(ObjectRef) {
  g_log->push_back("init");
  return RESULT_OK;
}
ResultCode ProbeDone(ObjectRef o) {
  g_log->push_back("done");
  return static_cast<ProbeState*>(o->instance)->fail_done ? ERR_CORRUPTED : 7;
}
ResultCode ProbePreClose(ObjectRef o) {
  g_log->push_back("preclose " + std::to_string(static_cast<ProbeState*>(o->instance)->value));
  return RESULT_OK;
}
ResultCode ProbeClosed(ObjectRef o) {
  g_log->push_back("closed " + std::to_string(static_cast<ProbeState*>(o->instance)->value));
  return RESULT_OK;
}

constexpr uint32_t IID_PROBE = 900;
constexpr uint32_t IID_OTHER = 901;
constexpr PropId PROP_PROBE_VALUE = 0x20409001u;
constexpr PropId PROP_PROBE_WIDE = 0x20509002u;
constexpr PropId PROP_PROBE_LINK = 0x23209003u;
constexpr PropId PROP_PROBE_FAIL_DONE = 0x20409004u;
constexpr PropId PROP_PROBE_CONSTANT = 0x20409005u;

const CodecMethods kProbeMethods = {nullptr};
const PropertyRow kProbeProperties[] = {
    {PROP_PROBE_VALUE, {.number = offsetof(ProbeState, value)}, 4, PROP_MODE_FIELD_READ_WRITE, nullptr, nullptr},
    {PROP_PROBE_WIDE, {.number = offsetof(ProbeState, wide)}, 8, PROP_MODE_FIELD_READ_WRITE, nullptr, nullptr},
    {PROP_PROBE_LINK, {.number = offsetof(ProbeState, link)}, sizeof(ObjectRef), PROP_MODE_FIELD_READ_WRITE,
     nullptr, nullptr},
    {PROP_PROBE_FAIL_DONE, {.number = offsetof(ProbeState, fail_done)}, 4, PROP_MODE_FIELD_WRITE, nullptr, nullptr},
    {PROP_PROBE_CONSTANT, {.number = 99}, 4, PROP_MODE_INLINE, nullptr, nullptr},
};

class ObjectsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log = &log_;
    InternalHooks hooks{};
    hooks.OnInit = ProbeInit;
    hooks.OnInitDone = ProbeDone;
    hooks.OnPreClose = ProbePreClose;
    hooks.OnClosed = ProbeClosed;
    ObjectRef root = runtime_.root();
    for (uint32_t iid : {IID_PROBE, IID_OTHER})
      ASSERT_EQ(host::Root(root).RegisterInterface(root, iid, 1, 0, 1, 0, &hooks, 12, &kProbeMethods, 1,
                                                   kProbeProperties, 5, sizeof(ProbeState), 0),
                RESULT_OK);
    baseline_ = runtime_.live_object_count();
  }
  void TearDown() override { EXPECT_EQ(runtime_.live_object_count(), baseline_) << runtime_.DescribeLive(); }

  ObjectRef Make(ObjectRef parent, uint32_t value, uint32_t iid = IID_PROBE) {
    ObjectRef o = nullptr;
    EXPECT_EQ(host::CreateObject(parent, &o, iid, 0), RESULT_OK);
    EXPECT_EQ(host::SetPropDWord(o, PROP_PROBE_VALUE, value), RESULT_OK);
    EXPECT_EQ(host::CreateObjectDone(o), 7) << "a warning from OnInitDone passes through";
    return o;
  }

  arjrt::Runtime runtime_{arjrt::RegisterBuiltinServices};
  std::vector<std::string> log_;
  size_t baseline_ = 0;
};

TEST_F(ObjectsTest, ClosingAParentClosesWhatIsStillOpenUnderItNewestFirst) {
  ObjectRef a = Make(runtime_.root(), 1);
  ObjectRef b = Make(a, 2);
  Make(a, 3);
  Make(b, 4);
  log_.clear();
  host::CloseIfOpen(a);
  std::vector<std::string> expected = {"preclose 1", "preclose 3", "closed 3", "preclose 2",
                                       "preclose 4", "closed 4",  "closed 2", "closed 1"};
  EXPECT_EQ(log_, expected);
}

TEST_F(ObjectsTest, FindAncestorLooksAboveNeverAtItself) {
  ObjectRef a = Make(runtime_.root(), 1, IID_OTHER);
  ObjectRef b = Make(a, 2);
  ObjectRef c = Make(b, 3);
  EXPECT_EQ(host::FindAncestor(c, IID_PROBE), b);
  EXPECT_EQ(host::FindAncestor(b, IID_PROBE), nullptr);
  EXPECT_EQ(host::FindAncestor(c, IID_OTHER), a);
  EXPECT_EQ(host::FindAncestor(c, IID_ROOT), runtime_.root());
  host::CloseIfOpen(a);
}

TEST_F(ObjectsTest, PropertiesAreServedFromTheInstanceByTheTable) {
  ObjectRef a = Make(runtime_.root(), 5);
  auto* state = static_cast<ProbeState*>(a->instance);
  EXPECT_EQ(state->value, 5u);
  EXPECT_EQ(host::GetPropDWord(a, PROP_PROBE_VALUE), 5u);
  EXPECT_EQ(host::SetPropQWord(a, PROP_PROBE_WIDE, 0x123456789ull), RESULT_OK);
  EXPECT_EQ(state->wide, 0x123456789ull);
  EXPECT_EQ(a->system->GetPropQWord(a, PROP_PROBE_WIDE), 0x123456789ull);
  EXPECT_EQ(host::SetPropDWord(a, PROP_PROBE_WIDE, 3), RESULT_OK);
  EXPECT_EQ(state->wide, 3u) << "a narrower write is zero-extended";
  EXPECT_EQ(host::SetPropObject(a, PROP_PROBE_LINK, runtime_.root()), RESULT_OK);
  EXPECT_EQ(a->system->GetPropObject(a, PROP_PROBE_LINK), runtime_.root());
  EXPECT_EQ(host::GetPropDWord(a, PROP_PROBE_CONSTANT), 99u);
  EXPECT_EQ(host::SetPropDWord(a, PROP_PROBE_CONSTANT, 1), ERR_ACCESS_DENIED);
  EXPECT_EQ(host::GetPropDWord(a, PROP_PROBE_FAIL_DONE), 0u) << "write-only fields do not read";
  EXPECT_EQ(host::SetPropDWord(a, 0x20409999u, 1), ERR_PROPERTY_UNAVAILABLE);
  uint32_t length = 0;
  uint8_t small[2];
  EXPECT_EQ(a->system->GetPropBuffer(a, &length, PROP_PROBE_VALUE, small, sizeof small), ERR_BUFFER_TOO_SMALL);
  EXPECT_EQ(length, 4u);
  host::CloseIfOpen(a);
}

// A registered table is looked up by its ids' hash: every id finds its
// first row (a later row of the same id is never served), however many ids
// share their low bits, and an id of no row finds none.
TEST(Registry, EachIdFindsItsFirstRow) {
  std::vector<PropertyRow> rows;
  for (uint32_t i = 0; i < 40; ++i)
    rows.push_back({0x20400000u + (i << 12), {.number = i}, 4, PROP_MODE_INLINE, nullptr, nullptr});
  rows.push_back({0x20400000u + (7u << 12), {.number = 1000}, 4, PROP_MODE_INLINE, nullptr, nullptr});
  auto impl = std::make_unique<arjrt::Implementation>();
  impl->iid = IID_PROBE;
  impl->pid = 1;
  impl->methods = &kProbeMethods;
  impl->properties = rows.data();
  impl->property_count = static_cast<uint32_t>(rows.size());
  const arjrt::Implementation* registered = impl.get();
  arjrt::Registry registry;
  ASSERT_EQ(registry.Add(std::move(impl)), RESULT_OK);
  for (uint32_t i = 0; i < 40; ++i) {
    const PropertyRow* row = registered->FindProperty(0x20400000u + (i << 12));
    ASSERT_NE(row, nullptr) << i;
    EXPECT_EQ(row->value.number, i);
  }
  for (const PropId absent : {0x20400001u, 0x20400000u + (40u << 12), 0u})
    EXPECT_EQ(registered->FindProperty(absent), nullptr) << absent;
}

TEST_F(ObjectsTest, FailedCompletionOfAQuickCreationClosesTheObject) {
  ObjectRef o = nullptr;
  ASSERT_EQ(host::CreateObject(runtime_.root(), &o, IID_PROBE, 0), RESULT_OK);
  EXPECT_EQ(host::SetPropDWord(o, PROP_PROBE_FAIL_DONE, 1), RESULT_OK);
  EXPECT_EQ(host::CreateObjectDone(o), ERR_CORRUPTED) << "the caller still owns an unfinished object";
  host::CloseIfOpen(o);
  ObjectRef missing = runtime_.root();
  EXPECT_EQ(host::CreateObjectQuick(runtime_.root(), &missing, 12345, 0), ERR_UNSUPPORTED);
  EXPECT_EQ(missing, nullptr);
}

TEST_F(ObjectsTest, MessagesGoToTheNearestHandlerAboveThatAccepts) {
  ObjectRef a = Make(runtime_.root(), 1);
  ObjectRef b = Make(a, 2);
  std::vector<uint32_t> seen;
  runtime_.AddMessageHandler(a, [&](const arjrt::Message& m) {
    seen.push_back(m.id);
    return m.id == 1 ? ResultCode{5} : ERR_NOT_HANDLED;
  });
  runtime_.AddMessageHandler(b, [&](const arjrt::Message& m) {
    return m.msg_class == 0x77 ? ResultCode{9} : ERR_NOT_HANDLED;
  });
  EXPECT_EQ(b->system->SendMessage(b, 0x10, 1, nullptr, nullptr, nullptr), 5);
  EXPECT_EQ(b->system->SendMessage(b, 0x77, 2, nullptr, nullptr, nullptr), 9);
  EXPECT_EQ(b->system->SendMessage(b, 0x10, 3, nullptr, nullptr, nullptr), ERR_NOT_HANDLED);
  EXPECT_EQ(seen, (std::vector<uint32_t>{1, 3}));
  host::CloseIfOpen(a);
}

}  // namespace
