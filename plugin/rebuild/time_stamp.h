// The time stamp of a written header (bytes 12 to 15), in the form its
// host OS implies (see arj_time.h).
#pragma once

#include <cstdint>

#include "plugin/format/arj_time.h"

// Now, from the host's clock and calendar, held to the years a DOS stamp
// can name. Fields the calendar does not give, and all of them when it
// fails, keep 1990-01-01 00:00:00.
arjhost::format::DosStamp DosTimestampNow();

// Stamps the header by its own host OS byte: now, or a file's modification
// time (Unix seconds), held to what the format can name.
void StampNow(uint8_t* header);
void StampUnixSeconds(uint8_t* header, int64_t seconds);
