// Registered implementations of host interfaces, the runtime's own and the
// plug-ins', looked up by interface id and plug-in id.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "plugin/host/host_objects.h"

namespace arjrt {

struct Implementation {
  uint32_t iid = 0;
  uint32_t pid = 0;
  uint32_t subtype = 0;
  uint32_t version = 0;
  uint32_t vendor = 0;
  InternalHooks hooks{};  // slots past the registered count stay empty
  const void* methods = nullptr;
  uint32_t method_count = 0;
  const PropertyRow* properties = nullptr;
  uint32_t property_count = 0;
  uint32_t instance_size = 0;
  uint32_t flags = 0;
  std::string origin;  // "runtime", or the path of the plug-in library
  // The first row of each id by the id's hash, open addressed (-1: none;
  // Registry::Add fills it): every property read looks its row up.
  std::vector<int32_t> property_slots;

  // The first row of `id`.
  const PropertyRow* FindProperty(PropId id) const;
};

class Registry {
 public:
  // Fails with ERR_BAD_PARAMETER for a malformed registration and with
  // ERR_LIMIT_EXCEEDED for a second registration of the same ids.
  [[nodiscard]] ResultCode Add(std::unique_ptr<Implementation> impl);
  // Plug-in id 0 names the first implementation registered for the interface.
  const Implementation* Find(uint32_t iid, uint32_t pid) const;
  const std::vector<std::unique_ptr<Implementation>>& all() const { return impls_; }
  // The origin that registrations made from now on are attributed to.
  void set_origin(std::string origin) { origin_ = std::move(origin); }
  const std::string& origin() const { return origin_; }

 private:
  std::vector<std::unique_ptr<Implementation>> impls_;
  std::string origin_ = "runtime";
};

}  // namespace arjrt
