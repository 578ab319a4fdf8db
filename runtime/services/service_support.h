// Shared plumbing for the runtime's own services: each keeps a C++ object
// behind its instance record, made by the OnInit hook and destroyed once
// the object's children are closed, and routes properties through it.
#pragma once

#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "plugin/host/host_objects.h"
#include "runtime/core/rt_object.h"

namespace arjrt {

template <class Impl>
struct ServiceRecord {
  Impl* impl;
};

template <class Impl>
Impl& ImplOf(ObjectRef o) {
  return *static_cast<ServiceRecord<Impl>*>(o->instance)->impl;
}

template <class Impl>
[[nodiscard]] ResultCode ConstructService(ObjectRef o) {
  auto* record = static_cast<ServiceRecord<Impl>*>(o->instance);
  record->impl = new (std::nothrow) Impl(o);
  return record->impl != nullptr ? RESULT_OK : ERR_NO_MEMORY;
}

template <class Impl>
[[nodiscard]] ResultCode DestroyService(ObjectRef o) {
  auto* record = static_cast<ServiceRecord<Impl>*>(o->instance);
  delete record->impl;
  record->impl = nullptr;
  return RESULT_OK;
}

template <class Impl>
[[nodiscard]] ResultCode FinishService(ObjectRef o) {
  return ImplOf<Impl>(o).Finish();
}

template <class Impl>
[[nodiscard]] ResultCode GetServiceProperty(ObjectRef o, uint32_t* length, PropId id, void* buffer, uint32_t size) {
  return ImplOf<Impl>(o).GetProperty(id, buffer, size, length);
}

template <class Impl>
[[nodiscard]] ResultCode SetServiceProperty(ObjectRef o, PropId id, const void* buffer, uint32_t size) {
  return ImplOf<Impl>(o).SetProperty(id, buffer, size);
}

// Hooks of a service whose Impl has Finish(); others leave OnInitDone empty.
template <class Impl, bool kHasFinish = true>
constexpr InternalHooks ServiceHooks() {
  InternalHooks hooks{};
  hooks.OnInit = ConstructService<Impl>;
  if constexpr (kHasFinish) hooks.OnInitDone = FinishService<Impl>;
  hooks.OnClosed = DestroyService<Impl>;
  return hooks;
}

template <class Impl>
constexpr PropertyRow ServiceProperty(PropId id) {
  return {id, {.number = 0}, 0, PROP_MODE_GETTER, GetServiceProperty<Impl>, SetServiceProperty<Impl>};
}

// Copies a fixed-size value out as a property getter does.
[[nodiscard]] inline ResultCode PropertyOut(const void* value, uint32_t value_size, void* buffer, uint32_t size,
                                            uint32_t* length) {
  if (length != nullptr) *length = value_size;
  if (buffer == nullptr && size == 0) return RESULT_OK;
  if (buffer == nullptr || size < value_size) return ERR_BUFFER_TOO_SMALL;
  std::memcpy(buffer, value, value_size);
  return RESULT_OK;
}

// Copies a string value out NUL-terminated, as string getters do: the
// length counts the NUL; a null buffer of size 0 asks for the length; a
// buffer too small gets nothing.
[[nodiscard]] inline ResultCode StringPropertyOut(std::string_view text, void* buffer, uint32_t size,
                                                  uint32_t* length) {
  if (text.size() >= UINT32_MAX) return ERR_LIMIT_EXCEEDED;
  const auto needed = static_cast<uint32_t>(text.size() + 1);
  if (length != nullptr) *length = needed;
  if (buffer == nullptr && size == 0) return RESULT_OK;
  if (buffer == nullptr || size < needed) return ERR_BUFFER_TOO_SMALL;
  if (!text.empty()) std::memcpy(buffer, text.data(), text.size());
  static_cast<char*>(buffer)[text.size()] = '\0';
  return RESULT_OK;
}

// Takes a string value set through SetPropBuffer: the bytes up to the first
// NUL, if any, within `size`.
[[nodiscard]] inline ResultCode StringPropertyIn(const void* buffer, uint32_t size, std::string* out) {
  if (buffer == nullptr && size != 0) return ERR_BAD_PARAMETER;
  const char* text = static_cast<const char*>(buffer);
  const void* nul = size != 0 ? std::memchr(text, 0, size) : nullptr;
  const size_t n = nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - text) : size;
  try {
    out->assign(text != nullptr ? text : "", n);
  } catch (const std::bad_alloc&) {
    return ERR_NO_MEMORY;
  }
  return RESULT_OK;
}

// The result rule of every read: all bytes 0, some WARN_SHORT_READ, none
// ERR_END_OF_DATA; asking for nothing always succeeds.
[[nodiscard]] inline ResultCode ReadOutcome(uint64_t delivered, uint64_t requested) {
  if (delivered == requested) return RESULT_OK;
  return delivered != 0 ? WARN_SHORT_READ : ERR_END_OF_DATA;
}

// Reads a little-endian integer property value of any width up to 8 bytes.
inline uint64_t PropertyIn(const void* buffer, uint32_t size) {
  uint64_t value = 0;
  if (buffer != nullptr) std::memcpy(&value, buffer, size < 8 ? size : 8);
  return value;
}

[[nodiscard]] inline ResultCode RegisterService(ObjectRef root, uint32_t iid, uint32_t pid, const InternalHooks& hooks,
                                                const void* methods, uint32_t method_count,
                                                const PropertyRow* properties, uint32_t property_count,
                                                uint32_t instance_size) {
  return static_cast<const RootMethods*>(root->methods)
      ->RegisterInterface(root, iid, pid, 0, 1, 0, &hooks, kInternalHookSlots, methods, method_count, properties,
                          property_count, instance_size, 0);
}

}  // namespace arjrt
