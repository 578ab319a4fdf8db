#include "runtime/api/host.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "plugin/format/arj_layout.h"
#include "runtime/api/internal/builtin_services.h"
#include "runtime/api/internal/host_state.h"
#include "runtime/api/internal/status_of.h"
#include "runtime/loader/manifest_reader.h"
#include "runtime/loader/plugin_loader.h"

namespace arjhost {

static_assert(kPluginMaxEntries == format::kMaxEntries && kPluginMaxVolumes == format::kMaxVolumes,
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

constexpr const char* kPluginFile = "libarj_plugin.so";

// The folder (ending in '/') of the file that holds this code: the shared
// library, or the program when it is linked into the program ("" when
// neither can be told).
std::string FolderOfThisLibrary() {
  Dl_info info;
  link_map* map = nullptr;
  std::string file;
  // A shared library's map names its file; the program's map names none.
  const bool found = dladdr1(reinterpret_cast<void*>(&FolderOfThisLibrary), &info, reinterpret_cast<void**>(&map),
                            RTLD_DL_LINKMAP) != 0;
  if (found && map != nullptr && map->l_name != nullptr && map->l_name[0] != '\0') {
    file = map->l_name;
  } else {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) file.assign(self, static_cast<size_t>(n));
  }
  const size_t slash = file.find_last_of('/');
  return slash == std::string::npos ? "" : file.substr(0, slash + 1);
}

}  // namespace

Host::State::State() : runtime(std::make_unique<arjrt::Runtime>(arjrt::RegisterBuiltinServices)) {}

Host::Host() : state_(std::make_unique<State>()) { SetLimits(Limits{}); }
Host::~Host() = default;

bool HostAccess::CountUnpacked(Host& host, uint64_t size) {
  const Limits& limits = host.state_->limits;
  std::atomic<uint64_t>& unpacked = *host.state_->unpacked;
  uint64_t total = unpacked.load();
  do {
    if (limits.max_total != 0 && (size > limits.max_total || total > limits.max_total - size)) return false;
  } while (!unpacked.compare_exchange_weak(total, total + size));
  return true;
}

void Host::SetLimits(const Limits& limits) {
  state_->limits = limits;
  arjrt::RuntimeLimits& bounds = state_->runtime->limits();
  bounds.max_entries = limits.max_entries;
  bounds.max_volumes = limits.max_volumes;
  bounds.archive_memory = limits.archive_memory;
  bounds.extract_memory = limits.extract_memory;
}

const Limits& Host::limits() const { return state_->limits; }

const std::string& Host::plugin_path() const { return state_->plugin_path; }

void Host::SetTraceLevel(int level) {
  if (level <= 0) {
    state_->runtime->SetTraceSink(nullptr, 0);
    return;
  }
  state_->runtime->SetTraceSink(
      [](int32_t line_level, std::string_view text) {
        std::fprintf(stderr, "trace %d: %.*s\n", line_level, static_cast<int>(text.size()), text.data());
      },
      level);
}

Status Host::LoadPlugin(const std::string& path) {
  state_->plugin_path = path.empty() ? DefaultPluginPath() : path;
  arjrt::LoadResult load = arjrt::LoadPluginLibrary(*state_->runtime, state_->plugin_path);
  if (load.error.empty()) return {};
  // The loader's "not recognized" is of a library, not of an archive.
  const Code code = load.result == ERR_NOT_RECOGNIZED ? Code::kUnsupported : CodeOf(load.result);
  return Failure(code == Code::kOk ? Code::kInternal : code, load.error, load.result);
}

std::vector<ImplementationInfo> Host::PluginImplementations() const {
  std::vector<ImplementationInfo> out;
  for (const auto& impl : state_->runtime->registry().all()) {
    if (impl->origin != state_->plugin_path) continue;
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
  const std::string folder = FolderOfThisLibrary();
  const std::string beside = folder + kPluginFile;
  // Installed, the plug-in lies in a folder of its own beside the library,
  // found from the library's own place so that the installation can move
  // as a whole.
  const std::string installed = folder + ARJHOST_PLUGIN_FOLDER "/" + kPluginFile;
  if (access(beside.c_str(), F_OK) != 0 && access(installed.c_str(), F_OK) == 0) return installed;
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
