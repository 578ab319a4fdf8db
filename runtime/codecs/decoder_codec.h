// The codec objects that decode ARJ packed data: PID_STORE_DECODER (method
// 0, the default) and PID_ARJ_DECODER (methods 1 to 4), both IID_CODEC.
#pragma once

#include "plugin/host/host_objects.h"

namespace arjrt {

[[nodiscard]] ResultCode RegisterDecoderCodecs(ObjectRef root);

}  // namespace arjrt
