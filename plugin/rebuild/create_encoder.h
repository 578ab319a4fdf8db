// The encoder of one re-encoded entry.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"

// Creates an encoder for ARJ `method` as a child of `parent` (the store
// encoder for method 0, the ARJ encoder for any other), reading `input` and
// writing `output`. A failed creation, or a warning that comes without an
// object (ERR_NOT_INITIALIZED), leaves *codec empty; once the host gave an
// object, *codec holds it whatever the result.
[[nodiscard]] ResultCode CreateEncoder(ObjectRef parent, uint8_t method, ObjectRef* codec, ObjectRef input,
                                       ObjectRef output);
