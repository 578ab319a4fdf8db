// The stored name of an added object.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"

constexpr uint32_t kAddedNameBufferSize = 4096;

// Reads the object's PROP_OBJECT_NAME into `buffer` (kAddedNameBufferSize
// bytes), NUL-terminated within it. The host's error is returned; an empty
// name, or one too long for a header (see arjhost::format::kMaxNameLength), is
// ERR_BAD_PARAMETER.
[[nodiscard]] ResultCode ReadAddedName(ObjectRef object, char* buffer, uint32_t* length);
