#include "plugin/state/trace.h"

#include <cstdarg>

#include "plugin/state/process_state.h"

namespace plugin_process {
ObjectRef root = nullptr;
HostFunction trace_function = nullptr;
HostFunction current_time = nullptr;
HostFunction split_time = nullptr;
}  // namespace plugin_process

namespace {
constexpr uint32_t kTraceSelector = 1;
constexpr uint32_t kResolveFlags = 2;
}  // namespace

ResultCode Trace(ObjectRef object, int32_t level, const char* format, ...) {
  using namespace plugin_process;
  if (root == nullptr) return ERR_UNSUPPORTED;
  // Resolved lazily and without a lock: concurrent first calls store the same value.
  if (trace_function == nullptr) {
    const ResultCode resolved =
        host::Root(root).ResolveExport(root, &trace_function, kTraceSelector, FN_TRACE, kResolveFlags);
    if (Failed(resolved)) trace_function = nullptr;  // whatever a failed resolution left there
  }
  if (trace_function == nullptr) return ERR_UNSUPPORTED;
  va_list args;
  va_start(args, format);
  ResultCode result = reinterpret_cast<TraceFunction>(trace_function)(object, level, format, &args);
  va_end(args);
  return result;
}
