// The codec objects that encode ARJ packed data: PID_STORE_ENCODER (method
// 0) and PID_ARJ_ENCODER (methods 1 to 4), both IID_CODEC.
#pragma once

#include "plugin/host/host_objects.h"

namespace arjrt {

[[nodiscard]] ResultCode RegisterEncoderServices(ObjectRef root);

}  // namespace arjrt
