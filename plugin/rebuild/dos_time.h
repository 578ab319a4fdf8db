// MS-DOS time and date words of written headers, from the host's clock and
// calendar (local time, as the archivers store it).
#pragma once

#include <cstdint>

struct DosStamp {
  uint16_t time = 0;
  uint16_t date = 0;
};

// time = hour * 2048 + minute * 32 + second / 2; date = (year - 1980) * 512 +
// month * 32 + day, kept to 16 bits. No field is limited to its range.
DosStamp DosStampOfFields(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second);

// Now. Fields the host's calendar does not give keep 1990-01-01 00:00:00.
DosStamp DosTimestampNow();

// The stamp of a file's modification time (Unix seconds), held to the
// years a stamp can name (1980 to 2107).
DosStamp DosStampOfUnixSeconds(int64_t seconds);
