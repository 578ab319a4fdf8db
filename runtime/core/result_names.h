// Plain-words names of result codes, for traces and messages.
#pragma once

#include <string>

#include "plugin/host/host_types.h"

namespace arjrt {

// "not found", "corrupted data", ...; a generic text for unknown codes.
const char* ResultName(ResultCode result);
// "0x800000C5 (not found)".
std::string DescribeResult(ResultCode result);

}  // namespace arjrt
