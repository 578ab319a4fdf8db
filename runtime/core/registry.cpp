#include "runtime/core/implementation.h"

#include <algorithm>
#include <cstring>

namespace arjrt {

const PropertyRow* Implementation::FindProperty(PropId id) const {
  if (property_index.empty()) {
    for (uint32_t i = 0; i < property_count; ++i)
      if (properties[i].id == id) return &properties[i];
    return nullptr;
  }
  const auto at = std::lower_bound(property_index.begin(), property_index.end(), std::make_pair(id, uint32_t{0}));
  return at != property_index.end() && at->first == id ? &properties[at->second] : nullptr;
}

ResultCode Registry::Add(std::unique_ptr<Implementation> impl) {
  if (impl->iid == 0 || impl->pid == 0 || impl->methods == nullptr) return ERR_BAD_PARAMETER;
  if (impl->property_count != 0 && impl->properties == nullptr) return ERR_BAD_PARAMETER;
  for (const auto& known : impls_)
    if (known->iid == impl->iid && known->pid == impl->pid) return ERR_LIMIT_EXCEEDED;
  impl->origin = origin_;
  impl->property_index.clear();
  for (uint32_t i = 0; i < impl->property_count; ++i) impl->property_index.emplace_back(impl->properties[i].id, i);
  std::sort(impl->property_index.begin(), impl->property_index.end());
  impls_.push_back(std::move(impl));
  return RESULT_OK;
}

const Implementation* Registry::Find(uint32_t iid, uint32_t pid) const {
  for (const auto& impl : impls_)
    if (impl->iid == iid && (pid == PID_DEFAULT || impl->pid == pid)) return impl.get();
  return nullptr;
}

}  // namespace arjrt
