#include "tests/support/refusing_host.h"

#include <gtest/gtest.h>

#include "runtime/core/runtime.h"

namespace testing_support {
namespace {

RefusingHost* g_active = nullptr;
const TextMethods* g_text_methods = nullptr;  // the runtime's, behind ours

const SystemMethods& Real() { return arjrt::kSystemMethods; }
ResultCode Refusal(PropId prop) { return g_active != nullptr ? g_active->Answer(prop) : RESULT_OK; }

ResultCode SetFromBuffer(ObjectRef self, uint32_t start, const char* buffer, uint32_t length, int32_t codepage,
                         uint32_t flags) {
  if (g_active != nullptr && Failed(g_active->AnswerText())) return kRefused;
  return g_text_methods->SetFromBuffer(self, start, buffer, length, codepage, flags);
}
ResultCode CopyToBuffer(ObjectRef self, uint32_t start, uint32_t count, char* buffer, uint32_t size, int32_t codepage,
                        uint32_t flags) {
  return g_text_methods->CopyToBuffer(self, start, count, buffer, size, codepage, flags);
}
const TextMethods kRefusingText = {SetFromBuffer, CopyToBuffer};

const SystemMethods* RefusingSystem();

// What the runtime made goes through us too, and so does what it makes.
ResultCode Adopt(ResultCode r, ObjectRef* out) {
  if (Failed(r) || out == nullptr || *out == nullptr) return r;
  (*out)->system = RefusingSystem();
  if (Real().GetInterfaceId(*out) == IID_TEXT) {
    g_text_methods = static_cast<const TextMethods*>((*out)->methods);
    (*out)->methods = &kRefusingText;
  }
  return r;
}
ResultCode CreateRefusal(uint32_t iid) { return g_active != nullptr ? g_active->AnswerCreate(iid) : RESULT_OK; }
ResultCode CreateObject(ObjectRef self, ObjectRef* out, uint32_t iid, uint32_t pid, uint32_t subtype) {
  if (const ResultCode r = CreateRefusal(iid); Failed(r)) return r;
  return Adopt(Real().CreateObject(self, out, iid, pid, subtype), out);
}
ResultCode CreateObjectQuick(ObjectRef self, ObjectRef* out, uint32_t iid, uint32_t pid, uint32_t subtype) {
  if (const ResultCode r = CreateRefusal(iid); Failed(r)) return r;
  return Adopt(Real().CreateObjectQuick(self, out, iid, pid, subtype), out);
}
ResultCode SetPropDWord(ObjectRef self, PropId prop, uint32_t value) {
  const ResultCode r = Refusal(prop);
  return Failed(r) ? r : Real().SetPropDWord(self, prop, value);
}
ResultCode SetPropQWord(ObjectRef self, PropId prop, uint32_t low, uint32_t high) {
  const ResultCode r = Refusal(prop);
  return Failed(r) ? r : Real().SetPropQWord(self, prop, low, high);
}
ResultCode SetPropObject(ObjectRef self, PropId prop, ObjectRef value) {
  const ResultCode r = Refusal(prop);
  return Failed(r) ? r : Real().SetPropObject(self, prop, value);
}
ResultCode SetPropBuffer(ObjectRef self, uint32_t* length, PropId prop, const void* buffer, uint32_t size) {
  const ResultCode r = Refusal(prop);
  return Failed(r) ? r : Real().SetPropBuffer(self, length, prop, buffer, size);
}

const SystemMethods* RefusingSystem() {
  static const SystemMethods kMethods = [] {
    SystemMethods m = arjrt::kSystemMethods;
    m.CreateObject = CreateObject;
    m.CreateObjectQuick = CreateObjectQuick;
    m.SetPropDWord = SetPropDWord;
    m.SetPropQWord = SetPropQWord;
    m.SetPropObject = SetPropObject;
    m.SetPropBuffer = SetPropBuffer;
    return m;
  }();
  return &kMethods;
}

}  // namespace

RefusingHost::RefusingHost(ObjectRef parent) : parent_(parent), parent_system_(parent->system) {
  EXPECT_EQ(g_active, nullptr) << "one RefusingHost at a time";
  g_active = this;
  parent_->system = RefusingSystem();
}

RefusingHost::~RefusingHost() {
  parent_->system = parent_system_;
  g_active = nullptr;  // what it made forwards everything from now on
}

ResultCode RefusingHost::Answer(PropId prop) {
  if (prop_ == 0 || prop != prop_) return RESULT_OK;
  if (prop_after_ > 0) {
    --prop_after_;
    return RESULT_OK;
  }
  ++refusals_;
  return kRefused;
}

ResultCode RefusingHost::AnswerText() {
  if (!refuse_text_) return RESULT_OK;
  if (text_after_ > 0) {
    --text_after_;
    return RESULT_OK;
  }
  ++refusals_;
  return kRefused;
}

ResultCode RefusingHost::AnswerCreate(uint32_t iid) {
  if (iid_ == 0 || iid != iid_) return RESULT_OK;
  ++refusals_;
  return kRefused;
}

}  // namespace testing_support
