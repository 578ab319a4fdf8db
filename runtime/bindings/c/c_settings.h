// What a handle was opened with: the caller's options copied (their
// strings owned), the defaults for those not given, and the host they
// make.
#pragma once

#include <memory>
#include <string>

#include "runtime/bindings/c/arjhost.h"
#include "runtime/bindings/c/c_status.h"
#include "runtime/api/host.h"

namespace arjhost::capi {

struct Settings {
  arjhost_options options{};  // its strings point into the members below, or are null
  std::string name;
  std::string plugin;
  std::string password;
  bool has_password = false;
};

// The options given (null: the defaults), copied: as many bytes as the
// caller's struct holds (its `size`), the defaults for the rest. False
// with `failure` set when `size` is not that of any header's struct.
bool SettingsOf(const arjhost_options* given, Settings* settings, Failure* failure);

// A host with the plug-in loaded, tracing nothing, and the limits set;
// null with `failure` set when the plug-in cannot be loaded.
std::unique_ptr<Host> StartHost(const Settings& settings, Failure* failure);

}  // namespace arjhost::capi
