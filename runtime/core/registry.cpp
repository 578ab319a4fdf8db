#include "runtime/core/implementation.h"

#include <cstring>

namespace arjrt {

namespace {

// A slot of `slots` (a power of two) to start looking for `id` at.
size_t FirstSlot(PropId id, size_t slots) {
  // The product's high bits, where every bit of the id has a say.
  return static_cast<size_t>((uint64_t{id} * 0x9E3779B97F4A7C15ull) >> 40) & (slots - 1);
}

}  // namespace

const PropertyRow* Implementation::FindProperty(PropId id) const {
  if (property_slots.empty()) {
    for (uint32_t i = 0; i < property_count; ++i)
      if (properties[i].id == id) return &properties[i];
    return nullptr;
  }
  const size_t mask = property_slots.size() - 1;
  for (size_t k = FirstSlot(id, property_slots.size());; k = (k + 1) & mask) {
    const int32_t row = property_slots[k];
    if (row < 0) return nullptr;
    if (properties[row].id == id) return &properties[row];
  }
}

ResultCode Registry::Add(std::unique_ptr<Implementation> impl) {
  if (impl->iid == 0 || impl->pid == 0 || impl->methods == nullptr) return ERR_BAD_PARAMETER;
  if (impl->property_count != 0 && impl->properties == nullptr) return ERR_BAD_PARAMETER;
  for (const auto& known : impls_)
    if (known->iid == impl->iid && known->pid == impl->pid) return ERR_LIMIT_EXCEEDED;
  impl->origin = origin_;
  // At most half the slots taken, so that every look ends at an empty one.
  size_t slots = 16;
  while (slots < 2 * size_t{impl->property_count}) slots *= 2;
  impl->property_slots.assign(slots, -1);
  for (uint32_t i = 0; i < impl->property_count; ++i) {
    size_t k = FirstSlot(impl->properties[i].id, slots);
    while (impl->property_slots[k] >= 0 && impl->properties[impl->property_slots[k]].id != impl->properties[i].id)
      k = (k + 1) & (slots - 1);
    if (impl->property_slots[k] < 0) impl->property_slots[k] = static_cast<int32_t>(i);  // the first row of an id
  }
  impls_.push_back(std::move(impl));
  return RESULT_OK;
}

const Implementation* Registry::Find(uint32_t iid, uint32_t pid) const {
  for (const auto& impl : impls_)
    if (impl->iid == iid && (pid == PID_DEFAULT || impl->pid == pid)) return impl.get();
  return nullptr;
}

}  // namespace arjrt
