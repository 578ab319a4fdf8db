// Opening an archive: the main header, the volume and entry tables, the
// damaged and incomplete states and the archive digest.
#pragma once

#include <cstdint>

#include "plugin/state/archiver_state.h"

// Internal hooks 3 and 4.
ResultCode OnInit(ObjectRef archiver);
ResultCode OnInitDone(ObjectRef archiver);

// `single_volume` 1: the archive I/O's volume only (plus what its last split
// entry needs); 0: every volume of the set found by name.
ResultCode OpenArchive(ObjectRef archiver, ObjectRef archive_io, uint32_t single_volume);
ResultCode ScanEntries(ObjectRef archiver);
uint64_t DigestVolumeEntries(const EntryRecord* entries, ObjectRef digest, uint32_t volume_index,
                             uint32_t entry_count);

constexpr uint32_t kCapabilitiesAfterInit = 0x49F;
constexpr uint32_t kCapabilitiesAfterInitDone = 0x41F;
constexpr uint32_t kCapabilitiesRestricted = 1;
constexpr uint64_t kNoArchiveDigest = 0xFFFFFFFFFFFFFFFFull;
