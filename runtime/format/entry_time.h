// A header's stored time as seconds since 1970 UTC. The two stored forms
// are the format module's (arj_time.h).
#pragma once

#include <cstdint>

namespace arjrt {

// An MS-DOS date-time (local time) as seconds since 1970 UTC. Out-of-range
// fields (month 0, day 31 of a short month...) roll over as mktime does.
int64_t DosTimeToUnix(uint32_t dos_time);

// The stored file time of a header written on `host_os`, as seconds since
// 1970 UTC.
int64_t EntryTimeToUnix(uint32_t stored, uint8_t host_os);

}  // namespace arjrt
