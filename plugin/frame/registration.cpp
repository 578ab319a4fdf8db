#include "plugin/frame/registration.h"

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
  plugin_process::root = root;
  *result_out = RESULT_OK;
  *result_out = RegisterMiniArchiver(root);
  if (Failed(*result_out)) {
    IgnoreResult(Trace(root, TRACE_REGISTRATION_FAILURE, "cannot register \"MiniArchiver\" interface"));  // best effort
    return false;
  }
  *result_out = host::Root(root).ResolveImports(root, kImportsReserved, kHostFunctionTable, kImportsFlags);
  return !Failed(*result_out);
}
