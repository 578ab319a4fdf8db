#include "runtime/core/runtime.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "runtime/core/result_names.h"

namespace arjrt {

Runtime::Runtime(ServiceRegistration registration) {
  ObjectRef root = nullptr;
  // A fresh registry refuses only a defect of ours (two services under one
  // id, a malformed table), and without a root nothing can run: either
  // ends the process rather than leave a runtime that fails later, elsewhere.
  if (Failed(RegisterRootInterface(registry_)) || Failed(Create(nullptr, &root, IID_ROOT, PID_DEFAULT, 0, true)))
    std::abort();
  root_ = root;
  if (registration != nullptr && Failed(registration(root_))) std::abort();
}

// Closing cannot fail as such: an object goes whatever its hooks answer.
Runtime::~Runtime() {
  if (root_ != nullptr) IgnoreResult(Close(AsRt(root_)));
}

ResultCode Runtime::Create(RtObject* parent, ObjectRef* out, uint32_t iid, uint32_t pid, uint32_t subtype,
                           bool finish) {
  if (out == nullptr) return ERR_BAD_PARAMETER;
  *out = nullptr;
  const Implementation* impl = registry_.Find(iid, pid);
  if (impl == nullptr) return ERR_UNSUPPORTED;
  auto* object = new (std::nothrow) RtObject;
  if (object == nullptr) return ERR_NO_MEMORY;
  object->runtime = this;
  object->impl = impl;
  object->methods = impl->methods;
  object->system = &kSystemMethods;
  object->serial = next_serial_++;
  if (impl->instance_size != 0) {
    size_t words = (impl->instance_size + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t);
    object->storage.reset(new (std::nothrow) std::max_align_t[words]);
    if (!object->storage) {
      delete object;
      return ERR_NO_MEMORY;
    }
    std::memset(object->storage.get(), 0, words * sizeof(std::max_align_t));
    object->instance = object->storage.get();
  }
  (void)subtype;
  object->parent = parent;
  if (parent != nullptr) parent->children.push_back(object);
  live_.insert(object);
  if (impl->hooks.OnInit != nullptr) {
    ResultCode result = impl->hooks.OnInit(object);
    if (Failed(result)) {
      IgnoreResult(Close(object));  // the hook's failure is the one to report
      return result;
    }
  }
  ResultCode result = RESULT_OK;
  if (finish) {
    result = Finish(object);
    if (Failed(result)) {
      IgnoreResult(Close(object));
      return result;
    }
  }
  *out = object;
  return result;
}

ResultCode Runtime::Finish(RtObject* object) {
  ResultCode result = RESULT_OK;
  if (object->impl->hooks.OnInitDone != nullptr) result = object->impl->hooks.OnInitDone(object);
  if (!Failed(result)) object->finished = true;
  return result;
}

ResultCode Runtime::Close(RtObject* object) {
  if (object->closing) return RESULT_OK;
  object->closing = true;
  // An object closes whatever its hooks and children answer: there is no
  // state to go back to once its close has begun.
  if (object->impl->hooks.OnPreClose != nullptr) IgnoreResult(object->impl->hooks.OnPreClose(object));
  // Children close newest first: a later object may depend on an earlier one.
  while (!object->children.empty()) IgnoreResult(Close(object->children.back()));
  if (object->impl->hooks.OnClosed != nullptr) IgnoreResult(object->impl->hooks.OnClosed(object));
  if (object->parent != nullptr) {
    auto& siblings = object->parent->children;
    siblings.erase(std::find(siblings.begin(), siblings.end(), object));
  }
  Destroy(object);
  return RESULT_OK;
}

void Runtime::Destroy(RtObject* object) {
  live_.erase(object);
  handlers_.erase(object);
  if (object == root_) root_ = nullptr;
  delete object;
}

std::string Runtime::DescribeLive() const {
  std::vector<const RtObject*> objects;
  for (const RtObject* o : live_)
    if (o != root_) objects.push_back(o);
  std::sort(objects.begin(), objects.end(), [](auto* a, auto* b) { return a->serial < b->serial; });
  std::string text;
  for (const RtObject* o : objects) {
    text += "object #" + std::to_string(o->serial) + " iid " + std::to_string(o->impl->iid) + " pid " +
            std::to_string(o->impl->pid) + " (" + o->impl->origin + ")";
    if (o->parent != nullptr) text += " under #" + std::to_string(o->parent->serial);
    text += "\n";
  }
  for (const std::string& note : leak_notes_) text += note + "\n";
  return text;
}

void Runtime::FailAllocation(uint64_t k, bool persistent) {
  fail_at_ = k == 0 ? 0 : allocations_ + k;
  fail_persistent_ = persistent;
}

bool Runtime::AllowAllocation() {
  ++allocations_;
  if (fail_at_ == 0) return true;
  if (allocations_ == fail_at_) return false;
  return !(fail_persistent_ && allocations_ > fail_at_);
}

void Runtime::AddMessageHandler(ObjectRef object, MessageHandler handler) {
  handlers_[AsRt(object)].push_back(std::move(handler));
}

ResultCode Runtime::Deliver(const Message& message) {
  for (RtObject* o = AsRt(message.target); o != nullptr; o = o->parent) {
    auto found = handlers_.find(o);
    if (found == handlers_.end()) continue;
    for (const MessageHandler& handler : found->second) {
      ResultCode result = handler(message);
      if (result != ERR_NOT_HANDLED) return result;
    }
  }
  return ERR_NOT_HANDLED;
}

void Runtime::SetTraceSink(TraceSink sink, int32_t max_level) {
  sink_ = std::move(sink);
  trace_level_ = max_level;
}

void Runtime::EmitTrace(int32_t level, std::string_view text) {
  if (Traces(level)) sink_(level, text);
}

}  // namespace arjrt
