#include "plugin/state/trace.h"

#include <cstdarg>

#include "plugin/state/process_state.h"

namespace plugin_process {
HostFunction trace_function = nullptr;
HostFunction current_time = nullptr;
HostFunction split_time = nullptr;
}  // namespace plugin_process

ResultCode Trace(ObjectRef object, int32_t level, const char* format, ...) {
  using namespace plugin_process;
  if (trace_function == nullptr) return ERR_UNSUPPORTED;
  va_list args;
  va_start(args, format);
  ResultCode result = reinterpret_cast<TraceFunction>(trace_function)(object, level, format, &args);
  va_end(args);
  return result;
}
