// The embedding API: a host runtime with the ARJ plug-in loaded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace arjrt {
class Runtime;
}

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

class Host {
 public:
  Host();
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Loads the plug-in at `path` (empty: DefaultPluginPath()). On failure
  // returns false with a one-line reason naming the file.
  bool LoadPlugin(const std::string& path, std::string* error);
  // The implementations the loaded plug-in registered.
  std::vector<ImplementationInfo> PluginImplementations() const;

  // $ARJHOST_PLUGIN, else libarj_plugin.so beside the running program.
  static std::string DefaultPluginPath();
  // Reads and checks the plug-in's manifest from its file, without loading it.
  static ManifestInfo ReadManifest(const std::string& path);

  // Trace lines of the plug-in up to `level` go to stderr; 0 turns them off.
  void SetTraceLevel(int level);

  arjrt::Runtime& runtime() { return *runtime_; }

 private:
  std::unique_ptr<arjrt::Runtime> runtime_;
  std::string plugin_path_;
};

}  // namespace arjhost
