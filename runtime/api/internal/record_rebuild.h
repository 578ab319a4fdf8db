// OpenOptions::recover and the ARJ-PROTECT record (arj a -hk): a volume
// whose record finds damaged blocks and rebuilds them is read as rebuilt,
// in memory (its file is left as it is); what the record found goes to the
// state (ArchiveState::record_rebuilds).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "plugin/format/protect_record.h"
#include "runtime/api/internal/archive_objects.h"
#include "runtime/api/repair.h"
#include "runtime/services/reader_io.h"

namespace arjhost {

// The longest file a record of factor 1 covers: its protected bytes and
// the record. Only such a file is read whole for its record.
constexpr uint64_t kLongestProtectedFile = format::kProtectMaxLength + format::kProtectRecordSize;

// RepairInMemory once the archive's bytes are read: all of them (`whole`),
// or only the end of a file longer than kLongestProtectedFile.
RepairReport RepairBytes(std::vector<uint8_t> bytes, bool whole, std::vector<uint8_t>* repaired);

// The bytes of `volume` as its record rebuilds them, when it finds damaged
// blocks and rebuilds them; else null, the volume read as it is. When it
// finds damaged blocks, `found` says which and, beyond the record, why
// they were not rebuilt; else it is left as it was.
std::shared_ptr<const std::vector<uint8_t>> RebuiltByRecord(const arjrt::ByteReader& volume, RecordRebuild* found);

// The archive's own file (`o.io`, before a stub is looked for) read as its
// record rebuilds it: then a memory I/O over the rebuilt bytes, of the
// same name, takes its place. What the record found goes to
// `o.volume_rebuilds`.
[[nodiscard]] ResultCode ReadOwnVolumeRebuilt(Archive::Objects& o);

// The other volumes of a set as `inner` opens them, each read as its own
// record rebuilds it (found under the volume's name in `rebuilds`).
arjrt::VolumeOpener RebuildingOpener(arjrt::VolumeOpener inner,
                                     std::map<std::string, std::vector<RecordRebuild>>* rebuilds);

}  // namespace arjhost
