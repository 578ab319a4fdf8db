#include "runtime/format/entry_time.h"

#include <ctime>

namespace arjrt {

bool StoresUnixTime(uint8_t host_os) { return host_os == kHostUnix || host_os == kHostNext; }

int64_t DosTimeToUnix(uint32_t dos_time) {
  std::tm t{};
  t.tm_sec = static_cast<int>(dos_time & 0x1F) * 2;
  t.tm_min = static_cast<int>((dos_time >> 5) & 0x3F);
  t.tm_hour = static_cast<int>((dos_time >> 11) & 0x1F);
  t.tm_mday = static_cast<int>((dos_time >> 16) & 0x1F);
  t.tm_mon = static_cast<int>((dos_time >> 21) & 0x0F) - 1;
  t.tm_year = static_cast<int>((dos_time >> 25) & 0x7F) + 80;
  t.tm_isdst = -1;  // the zone's rules for that date decide
  return static_cast<int64_t>(std::mktime(&t));
}

int64_t EntryTimeToUnix(uint32_t stored, uint8_t host_os) {
  return StoresUnixTime(host_os) ? static_cast<int64_t>(stored) : DosTimeToUnix(stored);
}

std::string LocalTimeText(int64_t unix_seconds) {
  const std::time_t t = static_cast<std::time_t>(unix_seconds);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return "-";
  char text[32];
  if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0) return "-";
  return text;
}

}  // namespace arjrt
