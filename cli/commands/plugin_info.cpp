// arjhost plugin-info: what the plug-in registers, and its manifest.
#include <cstdio>
#include <iostream>

#include "cli/commands/commands.h"
#include "cli/output/json_writer.h"
#include "cli/output/messages.h"
#include "runtime/api/host.h"

namespace cli {
namespace {

void PrintText(const std::string& path, const std::vector<arjhost::ImplementationInfo>& impls,
               const arjhost::ManifestInfo& manifest) {
  std::printf("plug-in: %s\n", path.c_str());
  for (const arjhost::ImplementationInfo& impl : impls) {
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
  if (!manifest.present) return;
  std::printf("manifest: %zu bytes, plug-in id %u, interface id %u\n", manifest.length, manifest.plugin_id,
              manifest.interface_id);
  for (const std::string& f : manifest.findings) std::printf("  %s\n", f.c_str());
  for (const std::string& v : manifest.version_strings) std::printf("version resource: %s\n", v.c_str());
  if (manifest.ok) std::printf("manifest ok\n");
}

void PrintJson(const std::string& path, const std::vector<arjhost::ImplementationInfo>& impls,
               const arjhost::ManifestInfo& manifest) {
  JsonWriter json(DocumentStream(), true);
  json.BeginObject();
  json.Key("plugin"), json.String(path);
  json.Key("implementations"), json.BeginArray();
  for (const arjhost::ImplementationInfo& impl : impls) {
    json.BeginObject();
    json.Key("plugin_id"), json.Unsigned(impl.plugin_id);
    json.Key("interface_id"), json.Unsigned(impl.interface_id);
    json.Key("subtype"), json.Unsigned(impl.subtype);
    json.Key("version"), json.Unsigned(impl.version);
    json.Key("vendor"), json.Unsigned(impl.vendor);
    json.Key("instance_size"), json.Unsigned(impl.instance_size);
    json.Key("hooks_set"), json.Unsigned(impl.hooks_set);
    json.Key("methods"), json.Unsigned(impl.method_count);
    json.Key("properties"), json.BeginArray();
    for (const arjhost::PropertyInfo& p : impl.properties) {
      json.BeginObject();
      json.Key("id"), json.Unsigned(p.id);
      json.Key("mode"), json.Unsigned(p.mode);
      json.Key("size"), json.Unsigned(p.size);
      json.Key("value"), json.String(p.source);
      json.EndObject();
    }
    json.EndArray();
    json.EndObject();
  }
  json.EndArray();
  json.Key("manifest"), json.BeginObject();
  json.Key("present"), json.Bool(manifest.present);
  json.Key("ok"), json.Bool(manifest.ok);
  json.Key("length"), json.Unsigned(manifest.length);
  json.Key("plugin_id"), json.Unsigned(manifest.plugin_id);
  json.Key("interface_id"), json.Unsigned(manifest.interface_id);
  json.Key("findings"), json.BeginArray();
  for (const std::string& f : manifest.findings) json.String(f);
  json.EndArray();
  json.Key("version_strings"), json.BeginArray();
  for (const std::string& v : manifest.version_strings) json.String(v);
  json.EndArray();
  json.EndObject();
  json.EndObject();
  std::cout << "\n";
}

}  // namespace

int RunPluginInfo(const Args& args) {
  arjhost::Host host;
  std::string path = args.Value("plugin", arjhost::Host::DefaultPluginPath());
  if (const arjhost::Status loaded = host.LoadPlugin(path); !loaded.ok()) {
    SayError("plugin-info", "%s", loaded.message.c_str());
    return kExitFailure;
  }
  const arjhost::ManifestInfo manifest = arjhost::Host::ReadManifest(path);
  if (args.Has("json")) PrintJson(path, host.PluginImplementations(), manifest);
  else PrintText(path, host.PluginImplementations(), manifest);
  if (!manifest.present) {
    SayError("plugin-info", "%s", manifest.error.c_str());  // it names the file
    return kExitFailure;
  }
  if (!manifest.ok) {
    SayError("plugin-info", "%s: manifest check failed", path.c_str());
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace cli
