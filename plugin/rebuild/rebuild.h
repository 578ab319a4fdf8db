// MiniArchiver method 5: a new archive from the open one, with entries
// dropped, copied as stored, replaced, or added, as a change list says.
#pragma once

#include "plugin/host/host_objects.h"

// Writes the new archive from the start of `destination`, an I/O object
// that must also read back what was written. On failure the destination
// holds a partial archive without an end marker; the caller discards it.
[[nodiscard]] ResultCode Rebuild(ObjectRef archiver, ObjectRef change_list, ObjectRef destination);
