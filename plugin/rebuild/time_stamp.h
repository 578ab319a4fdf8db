// The time stamp of a written header (bytes 12 to 15), in the format its
// host OS implies: the archivers store Unix seconds for UNIX and NeXT hosts,
// and an MS-DOS time and date word (local time) for every other host.
#pragma once

#include <cstdint>

struct DosStamp {
  uint16_t time = 0;
  uint16_t date = 0;
};

// time = hour * 2048 + minute * 32 + second / 2; date = (year - 1980) * 512 +
// month * 32 + day, kept to 16 bits. No field is limited to its range.
DosStamp DosStampOfFields(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second);

// Now, from the host's clock and calendar. Fields the calendar does not
// give keep 1990-01-01 00:00:00.
DosStamp DosTimestampNow();

bool StampsUnixTime(uint8_t host_os);

// Stamps the header by its own host OS byte: now, or a file's modification
// time (Unix seconds), held to what the format can name.
void StampNow(uint8_t* header);
void StampUnixSeconds(uint8_t* header, int64_t seconds);
