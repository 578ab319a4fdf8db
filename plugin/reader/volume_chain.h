// The volumes of a set beyond the archive I/O, reached by name through a
// file system of the host.
#pragma once

#include "plugin/host/host_objects.h"

// Rebuilds the volume table with every volume of the set that can be found
// by name, in volume order; the entry table is not touched.
[[nodiscard]] ResultCode DiscoverVolumes(ObjectRef archiver, ObjectRef archive_io);

// While the last entry continues in a next volume, opens that volume and
// appends it and its first entry to the tables. A failure anywhere takes
// everything this call appended off again.
[[nodiscard]] ResultCode AttachNextVolume(ObjectRef archiver, ObjectRef volume_io);
