#include "plugin/frame/registration.h"

#include <mutex>

#include "plugin/access/enumeration.h"
#include "plugin/access/extraction.h"
#include "plugin/state/archiver_state.h"
#include "plugin/state/process_state.h"
#include "plugin/state/trace.h"
#include "plugin/reader/archive_open.h"
#include "plugin/reader/header_reader.h"
#include "plugin/rebuild/rebuild.h"

const InternalHooks kInternalHooks = {
    Recognize, nullptr, OnInit, OnInitDone, nullptr, OnPreClose,
    nullptr,   nullptr, nullptr, nullptr,   nullptr, nullptr,
};

const MiniArchiverMethods kMiniArchiverMethods = {Reset, Next, OpenEntry, SetCurrent, Rebuild};

namespace {
constexpr uint32_t kCurrentTimeSelector = 5;
constexpr uint32_t kSplitTimeSelector = 1;
constexpr uint32_t kImportsReserved = 0;
constexpr uint32_t kImportsFlags = 2;
constexpr uint32_t kTraceSelector = 1;
constexpr uint32_t kTraceFlags = 2;

// Loads by hosts on several threads take their turns at the process's state.
std::mutex load_mutex;
}  // namespace

const ImportRow kHostFunctionTable[] = {
    {&plugin_process::current_time, kCurrentTimeSelector, FN_CURRENT_TIME},
    {&plugin_process::split_time, kSplitTimeSelector, FN_SPLIT_TIME},
    {nullptr, 0, 0},
};

ResultCode RegisterMiniArchiver(ObjectRef root) {
  ResultCode result = host::Root(root).RegisterInterface(
      root, IID_MINIARCHIVER, PID_ARJ, kMiniArchiverSubtype, kMiniArchiverVersion, kVendorId, &kInternalHooks,
      kInternalHookSlots, &kMiniArchiverMethods, kMiniArchiverMethodSlots, kPropertyTable, kPropertyRows,
      sizeof(ArchiverState), 0);
  // Tracing is best effort: a host that takes no trace changes nothing here.
  if (Failed(result))
    IgnoreResult(
        Trace(root, TRACE_REGISTRATION_RESULT, "MiniArchiver(IID_MINIARCHIVER) registered [error=0x%08x]", result));
  return result;
}

bool PluginEntry(ObjectRef root, uint32_t reason, ResultCode* result_out) {
  if (reason != PLUGIN_REASON_LOAD) return true;
  ResultCode unused;
  if (result_out == nullptr) result_out = &unused;
  const std::lock_guard<std::mutex> lock(load_mutex);
  // The host functions are resolved while this root is alive, once: no
  // root is kept for later, when it may be gone.
  if (plugin_process::trace_function == nullptr &&
      Failed(host::Root(root).ResolveExport(root, &plugin_process::trace_function, kTraceSelector, FN_TRACE,
                                            kTraceFlags)))
    plugin_process::trace_function = nullptr;  // whatever a failed resolution left there; tracing is best effort
  *result_out = RESULT_OK;
  *result_out = RegisterMiniArchiver(root);
  if (Failed(*result_out)) {
    IgnoreResult(Trace(root, TRACE_REGISTRATION_FAILURE, "cannot register \"MiniArchiver\" interface"));  // best effort
    return false;
  }
  if (plugin_process::current_time != nullptr && plugin_process::split_time != nullptr) return true;
  *result_out = host::Root(root).ResolveImports(root, kImportsReserved, kHostFunctionTable, kImportsFlags);
  return !Failed(*result_out);
}
