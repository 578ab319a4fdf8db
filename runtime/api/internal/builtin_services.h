// The runtime's own services: the list every host's runtime registers, kept
// here at the top because it names services of every floor below.
#pragma once

#include "plugin/host/host_objects.h"

namespace arjrt {

// Registers them all under `root`; the first failure ends it.
[[nodiscard]] ResultCode RegisterBuiltinServices(ObjectRef root);

}  // namespace arjrt
