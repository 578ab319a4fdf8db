// The volumes of a set beyond the archive I/O, reached by name through a
// file system of the host.
#pragma once

#include "plugin/host/host_objects.h"
#include "plugin/state/archiver_state.h"

// Rebuilds the volume table with every volume of the set that can be found
// by name, in volume order; the entry table is not touched. The set ends
// with the volume whose main header says it is the last (when that comes
// before the archive's own volume, the set starts again after it). A
// volume that is not there ends the set (or, before any was found, is
// passed over); one that is there but cannot be read does the same and is
// noted in the state (unreadable_volume), as the set is then incomplete.
[[nodiscard]] ResultCode DiscoverVolumes(ObjectRef archiver, ObjectRef archive_io);

// The name of the volume after the one read through `volume_io`, as the
// set numbers them, into `out` (NUL-terminated); returns its length, 0
// when the volume's name carries no volume number.
uint32_t NextVolumeName(ObjectRef archiver, ObjectRef volume_io, char* out, uint32_t size);

// While the last entry continues in a next volume, opens that volume and
// appends it and its first entry to the tables. A failure anywhere takes
// everything this call appended off again; a volume that is there but
// cannot be read is noted in the state (unreadable_volume).
[[nodiscard]] ResultCode AttachNextVolume(ObjectRef archiver, ObjectRef volume_io);
