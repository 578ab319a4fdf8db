// Loading a plug-in library and calling its entry point with the root.
#pragma once

#include <string>

#include "plugin/host/host_objects.h"
#include "runtime/core/runtime.h"

namespace arjrt {

struct LoadResult {
  ResultCode result = RESULT_OK;  // what the entry point stored, or the loader's own failure
  std::string error;              // empty on success
};

// Loads the shared library at `path` (kept loaded for the process's life)
// and calls its PluginEntry with reason 100.
LoadResult LoadPluginLibrary(Runtime& runtime, const std::string& path);

// Calls an entry point that is linked into the program.
LoadResult CallPluginEntry(Runtime& runtime, PluginEntryFn entry, const std::string& origin);

}  // namespace arjrt
