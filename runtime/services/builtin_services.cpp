#include "runtime/core/runtime.h"
#include "runtime/services/services.h"

namespace arjrt {

void RegisterBuiltinServices(ObjectRef root) {
  RegisterMemoryService(root);
}

}  // namespace arjrt
