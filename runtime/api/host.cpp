#include "runtime/api/host.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "plugin/format/arj_layout.h"
#include "runtime/api/internal/builtin_services.h"
#include "runtime/core/runtime.h"
#include "runtime/loader/manifest_reader.h"
#include "runtime/loader/plugin_loader.h"

namespace arjhost {

static_assert(kPluginMaxEntries == kMaxEntries && kPluginMaxVolumes == kMaxVolumes,
              "the API states the plug-in's own bounds");
namespace {

std::string DescribeSource(const PropertyRow& row) {
  switch (row.mode) {
    case PROP_MODE_GETTER:
      return row.getter != nullptr ? "getter" : "getter (none)";
    case PROP_MODE_FIELD_READ:
    case PROP_MODE_FIELD_WRITE:
    case PROP_MODE_FIELD_READ_WRITE:
      return "field +" + std::to_string(row.value.number);
    case PROP_MODE_INLINE:
      return "inline " + std::to_string(static_cast<int32_t>(row.value.number));
    case PROP_MODE_STATIC: {
      uint32_t v = 0;
      std::memcpy(&v, row.value.address, row.size < 4 ? row.size : 4);
      return "static " + std::to_string(v);
    }
    case PROP_MODE_STATIC_STRING:
      return std::string("string \"") + *static_cast<const char* const*>(row.value.address) + "\"";
    default:
      return "unknown mode";
  }
}

}  // namespace

Host::Host() : runtime_(std::make_unique<arjrt::Runtime>(arjrt::RegisterBuiltinServices)) { SetLimits(Limits{}); }
Host::~Host() = default;

bool Host::CountUnpacked(uint64_t size) {
  uint64_t total = unpacked_->load();
  do {
    if (limits_.max_total != 0 && (size > limits_.max_total || total > limits_.max_total - size)) return false;
  } while (!unpacked_->compare_exchange_weak(total, total + size));
  return true;
}

void Host::SetLimits(const Limits& limits) {
  limits_ = limits;
  arjrt::RuntimeLimits& bounds = runtime_->limits();
  bounds.max_entries = limits.max_entries;
  bounds.max_volumes = limits.max_volumes;
  bounds.archive_memory = limits.archive_memory;
  bounds.extract_memory = limits.extract_memory;
}

void Host::SetTraceLevel(int level) {
  if (level <= 0) {
    runtime_->SetTraceSink(nullptr, 0);
    return;
  }
  runtime_->SetTraceSink(
      [](int32_t line_level, std::string_view text) {
        std::fprintf(stderr, "trace %d: %.*s\n", line_level, static_cast<int>(text.size()), text.data());
      },
      level);
}

bool Host::LoadPlugin(const std::string& path, std::string* error) {
  plugin_path_ = path.empty() ? DefaultPluginPath() : path;
  arjrt::LoadResult load = arjrt::LoadPluginLibrary(*runtime_, plugin_path_);
  if (!load.error.empty()) {
    if (error != nullptr) *error = load.error;
    return false;
  }
  return true;
}

std::vector<ImplementationInfo> Host::PluginImplementations() const {
  std::vector<ImplementationInfo> out;
  for (const auto& impl : runtime_->registry().all()) {
    if (impl->origin != plugin_path_) continue;
    ImplementationInfo info;
    info.origin = impl->origin;
    info.interface_id = impl->iid;
    info.plugin_id = impl->pid;
    info.subtype = impl->subtype;
    info.version = impl->version;
    info.vendor = impl->vendor;
    info.instance_size = impl->instance_size;
    info.method_count = impl->method_count;
    const HostFunction* slots = reinterpret_cast<const HostFunction*>(&impl->hooks);
    for (uint32_t i = 0; i < kInternalHookSlots; ++i) info.hooks_set += slots[i] != nullptr;
    for (uint32_t i = 0; i < impl->property_count; ++i) {
      const PropertyRow& row = impl->properties[i];
      info.properties.push_back({row.id, row.mode, row.size, DescribeSource(row)});
    }
    out.push_back(std::move(info));
  }
  return out;
}

std::string Host::DefaultPluginPath() {
  if (const char* env = std::getenv("ARJHOST_PLUGIN"); env != nullptr && *env != '\0') return env;
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return "libarj_plugin.so";
  std::string dir(self, static_cast<size_t>(n));
  dir.erase(dir.find_last_of('/') + 1);
  const std::string beside = dir + "libarj_plugin.so";
#ifdef ARJHOST_PLUGIN_FROM_BIN
  // Installed, the plug-in lies in the library folder, found from the
  // program's own place so that the installation can move as a whole.
  const std::string installed = dir + ARJHOST_PLUGIN_FROM_BIN "/libarj_plugin.so";
  if (access(beside.c_str(), F_OK) != 0 && access(installed.c_str(), F_OK) == 0) return installed;
#endif
  return beside;
}

ManifestInfo Host::ReadManifest(const std::string& path) {
  ManifestInfo info;
  std::vector<uint8_t> manifest = arjrt::ReadElfSection(path, arjrt::kManifestSection, &info.error);
  if (manifest.empty()) return info;
  info.present = true;
  info.length = manifest.size();
  arjrt::ManifestCheck check = arjrt::CheckManifest(manifest);
  info.ok = check.ok;
  info.plugin_id = check.plugin_id;
  info.interface_id = check.interface_id;
  info.findings = check.findings;
  std::string ignored;
  std::vector<uint8_t> version = arjrt::ReadElfSection(path, arjrt::kVersionSection, &ignored);
  for (size_t start = 0; start < version.size();) {
    size_t end = start;
    while (end < version.size() && version[end] != 0) ++end;
    if (end > start) info.version_strings.emplace_back(version.begin() + start, version.begin() + end);
    start = end + 1;
  }
  return info;
}

}  // namespace arjhost
