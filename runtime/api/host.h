// The embedding API: a host runtime with the ARJ plug-in loaded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/api/export.h"
#include "runtime/api/status.h"

namespace arjhost {

struct PropertyInfo {
  uint32_t id = 0;
  uint32_t mode = 0;
  uint32_t size = 0;
  std::string source;  // "field +24", "getter", "static 512", "inline -11", "string \"ARJ\""
};

struct ImplementationInfo {
  std::string origin;
  uint32_t interface_id = 0;
  uint32_t plugin_id = 0;
  uint32_t subtype = 0;
  uint32_t version = 0;
  uint32_t vendor = 0;
  uint32_t instance_size = 0;
  uint32_t hooks_set = 0;  // hook slots that hold a function
  uint32_t method_count = 0;
  std::vector<PropertyInfo> properties;
};

struct ManifestInfo {
  bool present = false;
  bool ok = false;
  size_t length = 0;
  uint32_t plugin_id = 0;
  uint32_t interface_id = 0;
  std::vector<std::string> findings;
  std::vector<std::string> version_strings;  // "FileDescription=...", ...
  std::string error;
};

// What a hostile archive may cost, each bound enforced with a clear error.
// A zero turns the bound off (entries and volumes: the plug-in's own
// bounds stay).
constexpr uint64_t kPluginMaxEntries = 4'000'000;
constexpr uint64_t kPluginMaxVolumes = 100'000;

struct Limits {
  uint32_t max_entries = 0;                          // per archive
  uint32_t max_volumes = 0;                          // per volume set
  uint64_t archive_memory = uint64_t{2} << 30;       // the plug-in's tables of one open archive
  uint64_t extract_memory = uint64_t{8} << 20;       // held in memory per extraction; more goes to a temporary file
  uint64_t max_entry_size = 0;                       // unpacked bytes of one entry
  // An entry of more than `ratio_floor` bytes that unpacks to more than
  // `max_ratio` times its packed size is refused as a likely bomb.
  uint32_t max_ratio = 1000;
  uint64_t ratio_floor = uint64_t{256} << 20;
  // Unpacked bytes of all the entries one Host extracts or tests: many
  // entries, each just within the ratio, add up to a bomb too.
  uint64_t max_total = uint64_t{64} << 30;
};

class ARJHOST_API Host {
 public:
  Host();
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Loads the plug-in at `path` (empty: DefaultPluginPath()). On failure
  // the message names the file and why: kNotFound (no file there),
  // kUnsupported (not a library, or not a plug-in), or what the plug-in's
  // registration answered.
  Status LoadPlugin(const std::string& path);
  // The implementations the loaded plug-in registered.
  std::vector<ImplementationInfo> PluginImplementations() const;

  // $ARJHOST_PLUGIN, else libarj_plugin.so beside the file that holds this
  // library (libarjhost.so, or the program it is linked into), else
  // (installed) the one in the `arjhost` folder beside it: PREFIX/lib/arjhost
  // for PREFIX/lib/libarjhost.so, wherever the installation lies.
  static std::string DefaultPluginPath();
  // Reads and checks the plug-in's manifest from its file, without loading it.
  static ManifestInfo ReadManifest(const std::string& path);

  // Trace lines of the plug-in up to `level` go to stderr; 0 turns them off.
  void SetTraceLevel(int level);

  // Applies to archives opened and entries extracted from now on.
  void SetLimits(const Limits& limits);
  const Limits& limits() const;

  // The plug-in LoadPlugin loaded (empty before).
  const std::string& plugin_path() const;

 private:
  friend struct HostAccess;  // the library's own way in (runtime/api/internal/host_state.h)
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace arjhost
