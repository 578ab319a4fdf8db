// The encoder of one re-encoded entry.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"

// Creates an encoder for ARJ `method` as a child of `parent` (the store
// encoder for method 0, the ARJ encoder for any other), reading `input` and
// writing `output`. On any result other than 0 from the creation itself,
// *codec stays empty; after that it holds the codec whatever the result.
[[nodiscard]] ResultCode CreateEncoder(ObjectRef parent, uint8_t method, ObjectRef* codec, ObjectRef input,
                                       ObjectRef output);
