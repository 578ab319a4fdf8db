#include "runtime/loader/plugin_loader.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <mutex>

#include "runtime/core/result_names.h"

namespace arjrt {

namespace {

// A plug-in keeps process-wide state that its entry point writes at load;
// hosts made on several threads at once load it one at a time.
std::mutex g_loading;

}  // namespace

LoadResult CallPluginEntry(Runtime& runtime, PluginEntryFn entry, const std::string& origin) {
  std::lock_guard<std::mutex> lock(g_loading);
  LoadResult load;
  std::string previous = runtime.registry().origin();
  runtime.registry().set_origin(origin);
  ResultCode result = RESULT_OK;
  bool ok = entry(runtime.root(), PLUGIN_REASON_LOAD, &result);
  runtime.registry().set_origin(previous);
  load.result = result;
  if (!ok) load.error = origin + ": plug-in registration failed: " + DescribeResult(result);
  return load;
}

LoadResult LoadPluginLibrary(Runtime& runtime, const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return {ERR_NOT_FOUND, path + ": plug-in file not found"};
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* why = dlerror();
    return {ERR_NOT_RECOGNIZED, path + ": not a loadable library (" + (why ? why : "unknown reason") + ")"};
  }
  auto entry = reinterpret_cast<PluginEntryFn>(dlsym(library, kPluginEntrySymbol));
  if (entry == nullptr) {
    dlclose(library);
    return {ERR_NOT_RECOGNIZED, path + ": not a plug-in (no " + kPluginEntrySymbol + " entry point)"};
  }
  return CallPluginEntry(runtime, entry, path);
}

}  // namespace arjrt
