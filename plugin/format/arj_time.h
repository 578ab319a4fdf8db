// The two forms of a header's time stamp (bytes 12 to 15): arj on UNIX and
// NeXT hosts stores seconds since 1970 UTC; every other host stores an
// MS-DOS time word and date word in local time.
#pragma once

#include <cstdint>

#include "plugin/format/arj_types.h"

namespace arjhost::format {

bool StoresUnixTime(HostOs host);
// The seconds between the times a header written on `host` can hold.
inline int TimeStepOf(HostOs host) { return StoresUnixTime(host) ? 1 : 2; }

struct DosStamp {
  uint16_t time = 0;
  uint16_t date = 0;
};

struct DosFields {
  int32_t year = 1980, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// The years an MS-DOS date can name.
constexpr int32_t kDosFirstYear = 1980;
constexpr int32_t kDosLastYear = 2107;

// time = hour * 2048 + minute * 32 + second / 2; date = (year - 1980) * 512 +
// month * 32 + day, kept to 16 bits. No field is limited to its range.
DosStamp DosStampOfFields(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second);

// The fields of a stored stamp (time word low, date word high), as stored:
// month 0 or day 31 of a short month are left for the caller to judge.
DosFields DosFieldsOfStamp(uint32_t stored);

// An MS-DOS date-time (local time) as seconds since 1970 UTC. Out-of-range
// fields (month 0, day 31 of a short month...) roll over as mktime does.
int64_t DosTimeToUnix(uint32_t dos_time);

// A stored time of a header written on `host`, as seconds since 1970 UTC.
int64_t EntryTimeToUnix(uint32_t stored, HostOs host);

}  // namespace arjhost::format
