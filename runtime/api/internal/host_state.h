// What a Host holds, for the library's own use: its runtime, the plug-in
// loaded, its limits and the count of unpacked bytes it shares with the
// hosts of the same command's worker threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "runtime/api/host.h"
#include "runtime/core/runtime.h"

namespace arjhost {

// Hidden, though nested in an exported class: the library's own.
struct __attribute__((visibility("hidden"))) Host::State {
  State();
  std::unique_ptr<arjrt::Runtime> runtime;
  std::string plugin_path;
  Limits limits;
  std::shared_ptr<std::atomic<uint64_t>> unpacked = std::make_shared<std::atomic<uint64_t>>(0);
};

struct HostAccess {
  static arjrt::Runtime& RuntimeOf(Host& host) { return *host.state_->runtime; }
  // Counts an entry's unpacked size against Limits::max_total before it is
  // unpacked; false, counting nothing, when the total would pass it. Safe
  // from several threads.
  static bool CountUnpacked(Host& host, uint64_t size);
  // From now on `host` counts against `other`'s total: the hosts of one
  // command's worker threads share one.
  static void ShareUnpackedCount(Host& host, const Host& other) { host.state_->unpacked = other.state_->unpacked; }
};

}  // namespace arjhost
