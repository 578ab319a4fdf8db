// IID_REQUESTER: an object that embedders hand to the plug-in as the target
// of its questions (the password request); the answers come from message
// handlers the embedder registers on it.
#include "runtime/services/service_support.h"
#include "runtime/services/services.h"

namespace arjrt {
namespace {

struct RequesterMethods {
  void (*reserved)();
};
const RequesterMethods kMethods = {nullptr};
constexpr InternalHooks kHooks{};

}  // namespace

ResultCode RegisterRequesterService(ObjectRef root) {
  return RegisterService(root, IID_REQUESTER, PID_REQUESTER, kHooks, &kMethods, 0, nullptr, 0, 0);
}

}  // namespace arjrt
