// Registration of the MiniArchiver implementation with the host.
#pragma once

#include "plugin/host/host_objects.h"

constexpr uint32_t kMiniArchiverSubtype = 0;
constexpr uint32_t kMiniArchiverVersion = 1;
constexpr uint32_t kVendorId = 65;
constexpr uint32_t kMiniArchiverMethodSlots = 5;
constexpr uint32_t kPropertyRows = 29;

extern const InternalHooks kInternalHooks;
extern const MiniArchiverMethods kMiniArchiverMethods;
extern const PropertyRow kPropertyTable[kPropertyRows];
extern const ImportRow kHostFunctionTable[];

[[nodiscard]] ResultCode RegisterMiniArchiver(ObjectRef root);

extern "C" __attribute__((visibility("default"))) bool PluginEntry(ObjectRef root, uint32_t reason,
                                                                   ResultCode* result_out);
