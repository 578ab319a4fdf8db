// Repair of a damaged archive from its ARJ-PROTECT record (arj a -hk), as
// arj q makes it: the repaired bytes go to a new file, never over the
// archive read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/api/export.h"

namespace arjhost {

enum class RepairVerdict {
  kSound,         // every block checks: nothing written
  kRepaired,      // the damaged blocks (or the record) rebuilt and written to the destination
  kBeyondRecord,  // more damage than the record rebuilds: nothing written
  kNoRecord,      // no record that can be used (missing, damaged, not read here)
  kFailed,        // the archive could not be read or the copy not written
};

struct RepairReport {
  RepairVerdict verdict = RepairVerdict::kFailed;
  std::vector<uint32_t> damaged_blocks;  // numbers of the 1,024-byte blocks, from 0
  bool record_rebuilt = false;           // a sector of the record was damaged: written anew
  std::string cause;                     // why not, for every verdict but kSound and kRepaired
};

// Reads `archive`, checks it against its record and writes the repaired
// bytes to `destination` (through a temporary file beside it, renamed into
// place when whole). `destination` must not name the archive itself.
ARJHOST_API RepairReport RepairArchive(const std::string& archive, const std::string& destination);
// The same without a file written: the repaired bytes (kRepaired alone)
// go to `repaired`, for reading the archive from memory.
ARJHOST_API RepairReport RepairInMemory(const std::string& archive, std::vector<uint8_t>* repaired);

}  // namespace arjhost
