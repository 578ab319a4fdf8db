// Walking the archive's logical entries, and the release at close.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"

// MiniArchiver methods 1, 2 and 4.
[[nodiscard]] ResultCode Reset(ObjectRef archiver);
// Yields the handle (index + 1) of the logical entry after `previous`
// (0 to start); continuation parts are never yielded.
[[nodiscard]] ResultCode Next(ObjectRef archiver, uint64_t* handle, uint64_t previous);
[[nodiscard]] ResultCode SetCurrent(ObjectRef archiver, uint64_t index);

// Internal hook 6: frees the tables and buffers, closes the file system.
[[nodiscard]] ResultCode OnPreClose(ObjectRef archiver);
