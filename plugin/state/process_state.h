// Process-wide state of the loaded plug-in: the host functions it calls,
// resolved by the first load and never written again (every host of the
// process hands out the same ones), so that hosts loading it on several
// threads, or closed meanwhile, leave nothing stale or racing behind.
#pragma once

#include "plugin/host/host_objects.h"

namespace plugin_process {

extern HostFunction trace_function;  // null: the host takes no trace (or none loaded the plug-in)
extern HostFunction current_time;    // resolved by the host function table
extern HostFunction split_time;

}  // namespace plugin_process
