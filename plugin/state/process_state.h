// Process-wide state of the loaded plug-in, written once at load.
#pragma once

#include "plugin/host/host_objects.h"

namespace plugin_process {

extern ObjectRef root;               // the host's root object
extern HostFunction trace_function;  // resolved on first use by Trace
extern HostFunction current_time;    // resolved by the host function table
extern HostFunction split_time;

}  // namespace plugin_process
