#include "runtime/core/implementation.h"

#include <cstring>

namespace arjrt {

const PropertyRow* Implementation::FindProperty(PropId id) const {
  for (uint32_t i = 0; i < property_count; ++i)
    if (properties[i].id == id) return &properties[i];
  return nullptr;
}

ResultCode Registry::Add(std::unique_ptr<Implementation> impl) {
  if (impl->iid == 0 || impl->pid == 0 || impl->methods == nullptr) return ERR_BAD_PARAMETER;
  if (impl->property_count != 0 && impl->properties == nullptr) return ERR_BAD_PARAMETER;
  for (const auto& known : impls_)
    if (known->iid == impl->iid && known->pid == impl->pid) return ERR_LIMIT_EXCEEDED;
  impl->origin = origin_;
  impls_.push_back(std::move(impl));
  return RESULT_OK;
}

const Implementation* Registry::Find(uint32_t iid, uint32_t pid) const {
  for (const auto& impl : impls_)
    if (impl->iid == iid && (pid == PID_DEFAULT || impl->pid == pid)) return impl.get();
  return nullptr;
}

}  // namespace arjrt
