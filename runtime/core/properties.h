// Property get and set, served from the instance record by the property
// table or through the implementation's getter and setter.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"

namespace arjrt {

// Reads the property's value bytes into `buffer`. `length` receives the
// size of the value (also when the buffer is too small).
[[nodiscard]] ResultCode ReadProperty(ObjectRef object, PropId id, void* buffer, uint32_t size, uint32_t* length);
// Writes a value of `size` bytes; integers are little-endian and are cut or
// zero-extended to the property's own size.
[[nodiscard]] ResultCode WriteProperty(ObjectRef object, PropId id, const void* buffer, uint32_t size);

uint32_t GetDWordProperty(ObjectRef object, PropId id);
uint64_t GetQWordProperty(ObjectRef object, PropId id);
ObjectRef GetObjectProperty(ObjectRef object, PropId id);
[[nodiscard]] ResultCode GetStringProperty(ObjectRef object, uint32_t* length, PropId id, char* buffer, uint32_t size,
                                           int32_t codepage);

}  // namespace arjrt
