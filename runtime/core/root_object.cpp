// The root object: registration of implementations and the host function table.
#include <cstring>
#include <memory>

#include "runtime/core/clock.h"
#include "runtime/core/runtime.h"
#include "runtime/core/trace_format.h"

namespace arjrt {
namespace {

[[nodiscard]] ResultCode HostTrace(ObjectRef object, int32_t level, const char* format, va_list* args) {
  if (object == nullptr || format == nullptr || args == nullptr) return ERR_BAD_PARAMETER;
  Runtime* runtime = AsRt(object)->runtime;
  if (!runtime->Traces(level)) return RESULT_OK;
  runtime->EmitTrace(level, FormatTrace(format, args));
  return RESULT_OK;
}

struct HostFunctionRow {
  uint32_t id;
  HostFunction function;
};

const HostFunctionRow kHostFunctions[] = {
    {FN_TRACE, reinterpret_cast<HostFunction>(&HostTrace)},
    {FN_CURRENT_TIME, reinterpret_cast<HostFunction>(&HostCurrentTime)},
    {FN_SPLIT_TIME, reinterpret_cast<HostFunction>(&HostSplitTime)},
};

HostFunction LookUp(uint32_t id) {
  for (const HostFunctionRow& row : kHostFunctions)
    if (row.id == id) return row.function;
  return nullptr;
}

[[nodiscard]] ResultCode RegisterInterface(ObjectRef root, uint32_t iid, uint32_t pid, uint32_t subtype,
                                           uint32_t version, uint32_t vendor, const void* hooks, uint32_t hook_count,
                                           const void* methods, uint32_t method_count, const PropertyRow* properties,
                                           uint32_t property_count, uint32_t instance_size, uint32_t flags) {
  if (root == nullptr || hook_count > kInternalHookSlots || (hook_count != 0 && hooks == nullptr))
    return ERR_BAD_PARAMETER;
  auto impl = std::make_unique<Implementation>();
  impl->iid = iid;
  impl->pid = pid;
  impl->subtype = subtype;
  impl->version = version;
  impl->vendor = vendor;
  // Copy only the slots the caller declared; the rest stay empty.
  if (hook_count != 0) std::memcpy(&impl->hooks, hooks, hook_count * sizeof(HostFunction));
  impl->methods = methods;
  impl->method_count = method_count;
  impl->properties = properties;
  impl->property_count = property_count;
  impl->instance_size = instance_size;
  impl->flags = flags;
  return AsRt(root)->runtime->registry().Add(std::move(impl));
}

[[nodiscard]] ResultCode ResolveExport(ObjectRef /*root*/, HostFunction* variable, uint32_t /*selector*/, uint32_t id,
                                       uint32_t /*flags*/) {
  if (variable == nullptr) return ERR_BAD_PARAMETER;
  HostFunction function = LookUp(id);
  if (function == nullptr) return ERR_NOT_FOUND;
  *variable = function;
  return RESULT_OK;
}

[[nodiscard]] ResultCode ResolveImports(ObjectRef root, uint32_t /*reserved*/, const ImportRow* table, uint32_t flags) {
  if (table == nullptr) return ERR_BAD_PARAMETER;
  for (const ImportRow* row = table; row->variable != nullptr; ++row) {
    ResultCode result = ResolveExport(root, row->variable, row->selector, row->id, flags);
    if (Failed(result)) return result;
  }
  return RESULT_OK;
}

const RootMethods kRootMethods = {RegisterInterface, ResolveImports, ResolveExport};

// The bounds the plug-in reads for every archive it opens.
[[nodiscard]] ResultCode GetLimit(ObjectRef root, uint32_t* length, PropId prop, void* buffer, uint32_t size) {
  const RuntimeLimits& limits = AsRt(root)->runtime->limits();
  const uint32_t value = prop == PROP_LIMIT_MAX_ENTRIES ? limits.max_entries : limits.max_volumes;
  if (length != nullptr) *length = sizeof value;
  if (buffer == nullptr || size < sizeof value) return ERR_BUFFER_TOO_SMALL;
  std::memcpy(buffer, &value, sizeof value);
  return RESULT_OK;
}

const PropertyRow kRootProperties[] = {
    {PROP_LIMIT_MAX_ENTRIES, {.number = 0}, 4, PROP_MODE_GETTER, GetLimit, nullptr},
    {PROP_LIMIT_MAX_VOLUMES, {.number = 0}, 4, PROP_MODE_GETTER, GetLimit, nullptr},
};

}  // namespace

static_assert(sizeof(InternalHooks) == kInternalHookSlots * sizeof(HostFunction));

ResultCode RegisterRootInterface(Registry& registry) {
  auto impl = std::make_unique<Implementation>();
  impl->iid = IID_ROOT;
  impl->pid = 1;
  impl->methods = &kRootMethods;
  impl->method_count = 3;
  impl->properties = kRootProperties;
  impl->property_count = sizeof kRootProperties / sizeof kRootProperties[0];
  return registry.Add(std::move(impl));
}

}  // namespace arjrt
