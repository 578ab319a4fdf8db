#include "plugin/format/arj_time.h"

#include "plugin/format/arj_layout.h"

bool StoresUnixTime(uint8_t host_os) { return host_os == kHostUnix || host_os == kHostNext; }

DosStamp DosStampOfFields(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second) {
  DosStamp stamp;
  stamp.time = static_cast<uint16_t>(static_cast<uint32_t>(hour) * 2048u + static_cast<uint32_t>(minute) * 32u +
                                     static_cast<uint32_t>(second / 2));
  stamp.date = static_cast<uint16_t>(static_cast<uint32_t>(year - kDosFirstYear) * 512u +
                                     static_cast<uint32_t>(month) * 32u + static_cast<uint32_t>(day));
  return stamp;
}

DosFields DosFieldsOfStamp(uint32_t stored) {
  DosFields f;
  f.second = static_cast<int32_t>(stored & 0x1F) * 2;
  f.minute = static_cast<int32_t>((stored >> 5) & 0x3F);
  f.hour = static_cast<int32_t>((stored >> 11) & 0x1F);
  f.day = static_cast<int32_t>((stored >> 16) & 0x1F);
  f.month = static_cast<int32_t>((stored >> 21) & 0x0F);
  f.year = static_cast<int32_t>((stored >> 25) & 0x7F) + kDosFirstYear;
  return f;
}
