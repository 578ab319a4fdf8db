// The host's two time functions. A time value is 8 bytes: microseconds
// since 1970-01-01 UTC; SplitTime gives local calendar fields.
#pragma once

#include <cstdint>

#include "plugin/host/host_types.h"

namespace arjrt {

[[nodiscard]] ResultCode HostCurrentTime(void* time_value);
[[nodiscard]] ResultCode HostSplitTime(const void* time_value, int32_t* year, int32_t* month, int32_t* day,
                                       int32_t* hour, int32_t* minute, int32_t* second, void* reserved);

}  // namespace arjrt
