// Registration of the runtime's own services, each under its ids, through
// the root object as a plug-in would register.
#pragma once

#include "plugin/host/host_objects.h"

namespace arjrt {

// Plug-in ids of the runtime's services that the plug-in asks for by
// interface alone (plug-in id 0).
constexpr uint32_t PID_MEMORY = 64004;

ResultCode RegisterMemoryService(ObjectRef root);

}  // namespace arjrt
