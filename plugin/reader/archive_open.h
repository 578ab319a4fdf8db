// Opening an archive: the main header, the volume and entry tables, the
// damaged and incomplete states and the archive digest.
#pragma once

#include <cstdint>

#include "plugin/state/archiver_state.h"

// Internal hooks 3 and 4.
[[nodiscard]] ResultCode OnInit(ObjectRef archiver);
[[nodiscard]] ResultCode OnInitDone(ObjectRef archiver);

// `single_volume` 1: the archive I/O's volume only (plus what its last split
// entry needs); 0: every volume of the set found by name.
[[nodiscard]] ResultCode OpenArchive(ObjectRef archiver, ObjectRef archive_io, uint32_t single_volume);
[[nodiscard]] ResultCode ScanEntries(ObjectRef archiver);
// The digest of a volume's entry images; kNoArchiveDigest when the digest
// object fails.
uint64_t DigestVolumeEntries(const EntryRecord* entries, ObjectRef digest, uint32_t volume_index,
                             uint32_t entry_count);

// What the object reports while it opens, once open, and when restricted
// (multi-volume or damaged).
constexpr uint32_t kCapabilitiesRestricted = CAPABILITY_BIT_0;
constexpr uint32_t kCapabilitiesAfterInitDone =
    CAPABILITY_BIT_0 | CAPABILITY_BIT_1 | CAPABILITY_BIT_2 | CAPABILITY_BIT_3 | CAPABILITY_BIT_4 | CAPABILITY_BIT_10;
constexpr uint32_t kCapabilitiesAfterInit = kCapabilitiesAfterInitDone | CAPABILITY_BIT_7;
constexpr uint64_t kNoArchiveDigest = 0xFFFFFFFFFFFFFFFFull;
