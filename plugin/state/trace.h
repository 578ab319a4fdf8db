// The plug-in's one logging routine, through the host's trace function.
#pragma once

#include "plugin/host/host_objects.h"

// Formats one trace line on behalf of `object`. The host understands %d,
// %s, %08x and %terr (a ResultCode). Callers ignore the result.
[[nodiscard]] ResultCode Trace(ObjectRef object, int32_t level, const char* format, ...);

// Trace levels.
constexpr int32_t TRACE_REGISTRATION_RESULT = 200;
constexpr int32_t TRACE_REGISTRATION_FAILURE = 300;
constexpr int32_t TRACE_VOLUMES = 400;
