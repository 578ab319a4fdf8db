#include "runtime/format/entry_time.h"

#include <ctime>

#include "plugin/format/arj_time.h"

namespace arjrt {

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

int64_t EntryTimeToUnix(uint32_t stored, uint8_t host_os) {
  return StoresUnixTime(host_os) ? static_cast<int64_t>(stored) : DosTimeToUnix(stored);
}

}  // namespace arjrt
