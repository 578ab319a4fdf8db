#include "plugin/format/arj_time.h"

#include <ctime>

namespace arjhost::format {

bool StoresUnixTime(HostOs host) { return host == HostOs::kUnix || host == HostOs::kNext; }

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

int64_t DosTimeToUnix(uint32_t dos_time) {
  const DosFields f = DosFieldsOfStamp(dos_time);
  std::tm t{};
  t.tm_sec = f.second;
  t.tm_min = f.minute;
  t.tm_hour = f.hour;
  t.tm_mday = f.day;
  t.tm_mon = f.month - 1;
  t.tm_year = f.year - 1900;
  t.tm_isdst = -1;  // the zone's rules for that date decide
  return static_cast<int64_t>(std::mktime(&t));
}

int64_t EntryTimeToUnix(uint32_t stored, HostOs host) {
  return StoresUnixTime(host) ? static_cast<int64_t>(stored) : DosTimeToUnix(stored);
}

}  // namespace arjhost::format
