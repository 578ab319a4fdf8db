// arjhost plugin-info: what the plug-in registers, and its manifest.
#include <cstdio>

#include "cli/commands.h"
#include "runtime/api/host.h"

namespace cli {

int RunPluginInfo(const Args& args) {
  arjhost::Host host;
  std::string path = args.Value("plugin", arjhost::Host::DefaultPluginPath());
  std::string error;
  if (!host.LoadPlugin(path, &error)) {
    std::fprintf(stderr, "arjhost: %s\n", error.c_str());
    return kExitFailure;
  }
  std::printf("plug-in: %s\n", path.c_str());
  for (const arjhost::ImplementationInfo& impl : host.PluginImplementations()) {
    std::printf("plug-in id: %u\ninterface id: %u\n", impl.plugin_id, impl.interface_id);
    std::printf("subtype %u, version %u, vendor %u\n", impl.subtype, impl.version, impl.vendor);
    std::printf("instance size: %u bytes\n", impl.instance_size);
    std::printf("hooks set: %u of 12; methods: %u\n", impl.hooks_set, impl.method_count);
    std::printf("properties (%zu):\n  %-3s %-10s %-5s %-4s %s\n", impl.properties.size(), "#", "id", "mode", "size",
                "value");
    int row = 1;
    for (const arjhost::PropertyInfo& p : impl.properties)
      std::printf("  %-3d 0x%08X 0x%02X  %-4u %s\n", row++, p.id, p.mode, p.size, p.source.c_str());
  }
  arjhost::ManifestInfo manifest = arjhost::Host::ReadManifest(path);
  if (!manifest.present) {
    std::fprintf(stderr, "arjhost: %s\n", manifest.error.c_str());
    return kExitFailure;
  }
  std::printf("manifest: %zu bytes, plug-in id %u, interface id %u\n", manifest.length, manifest.plugin_id,
              manifest.interface_id);
  for (const std::string& f : manifest.findings) std::printf("  %s\n", f.c_str());
  for (const std::string& v : manifest.version_strings) std::printf("version resource: %s\n", v.c_str());
  if (!manifest.ok) {
    std::fprintf(stderr, "arjhost: %s: manifest check failed\n", path.c_str());
    return kExitFailure;
  }
  std::printf("manifest ok\n");
  return kExitOk;
}

}  // namespace cli
