#include "runtime/bindings/c/c_settings.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

#include "runtime/api/kept_stream.h"

namespace arjhost::capi {
namespace {

constexpr int kDefaultCodePage = 437;

// The smallest struct a header ever had: every option up to the first one
// added later.
constexpr size_t kFirstOptionsSize = offsetof(arjhost_options, max_threads);

}  // namespace

bool SettingsOf(const arjhost_options* given, Settings* settings, Failure* failure) {
  Settings& s = *settings;
  arjhost_options_init(&s.options);
  if (given != nullptr) {
    if (given->size < kFirstOptionsSize || given->size > (size_t{1} << 16)) {
      failure->Set(ARJHOST_ERR_ARGUMENT, "the options' size is " + std::to_string(given->size) +
                                             " bytes, no header's: set it with arjhost_options_init");
      return false;
    }
    std::memcpy(&s.options, given, std::min(given->size, sizeof s.options));
    s.options.size = sizeof s.options;
  }
  arjhost_options& o = s.options;
  // Copied: the caller's strings need not outlive the call.
  if (o.name != nullptr) s.name = o.name;
  if (o.plugin != nullptr) s.plugin = o.plugin;
  s.has_password = o.password != nullptr;
  if (s.has_password) s.password = o.password;
  o.name = o.plugin = o.password = nullptr;
  if (o.codepage == 0) o.codepage = kDefaultCodePage;
  return true;
}

std::unique_ptr<Host> StartHost(const Settings& s, Failure* failure) {
  auto host = std::make_unique<Host>();
  const arjhost_options& o = s.options;
  Limits limits;
  // Counts beyond what the plug-in's fields hold are no bound at all.
  limits.max_entries = o.max_entries > UINT32_MAX ? 0 : static_cast<uint32_t>(o.max_entries);
  limits.max_volumes = o.max_volumes > UINT32_MAX ? 0 : static_cast<uint32_t>(o.max_volumes);
  limits.archive_memory = o.max_memory;
  limits.extract_memory = o.max_extract_memory;
  limits.max_entry_size = o.max_size;
  limits.max_ratio = o.max_ratio > UINT32_MAX ? 0 : static_cast<uint32_t>(o.max_ratio);
  limits.max_total = o.max_total;
  host->SetLimits(limits);
  host->SetTraceLevel(0);
  if (const Status loaded = host->LoadPlugin(s.plugin); !loaded.ok()) {
    failure->Set(ARJHOST_ERR_PLUGIN, loaded.message);
    return nullptr;
  }
  return host;
}

}  // namespace arjhost::capi

extern "C" void arjhost_options_init_sized(arjhost_options* given, size_t size) {
  if (given == nullptr || size < arjhost::capi::kFirstOptionsSize) return;
  // Filled whole here, then as much as the caller's struct holds copied out.
  arjhost_options all;
  arjhost_options* o = &all;
  std::memset(o, 0, sizeof *o);
  o->size = std::min(size, sizeof *o);
  const arjhost::Limits defaults;
  o->max_entries = defaults.max_entries;
  o->max_volumes = defaults.max_volumes;
  o->max_memory = defaults.archive_memory;
  o->max_extract_memory = defaults.extract_memory;
  o->max_size = defaults.max_entry_size;
  o->max_ratio = defaults.max_ratio;
  o->max_total = defaults.max_total;
  const arjhost::StreamBounds stream;
  o->max_stream_memory = stream.memory;
  o->max_stream_size = stream.size;
  o->codepage = arjhost::capi::kDefaultCodePage;
  std::memcpy(given, o, o->size);
}
