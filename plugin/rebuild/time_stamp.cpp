#include "plugin/rebuild/time_stamp.h"

#include "plugin/format/arj_layout.h"
#include "plugin/host/host_objects.h"
#include "plugin/state/process_state.h"

using namespace arjhost::format;

namespace {

constexpr int64_t kMicrosPerSecond = 1'000'000;
constexpr int64_t kUnixStampLimit = 0xFFFFFFFF;

struct CalendarFields {
  int32_t year = 1990, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

int64_t HostNow() {
  int64_t now = 0;
  auto current = reinterpret_cast<CurrentTimeFunction>(plugin_process::current_time);
  if (current != nullptr && Failed(current(&now))) now = 0;  // not what a failed clock left there
  return now;
}

CalendarFields SplitHostTime(int64_t time_value) {
  CalendarFields f;
  auto split = reinterpret_cast<SplitTimeFunction>(plugin_process::split_time);
  // A failed split may have left some fields written: the defaults stand.
  if (split != nullptr && Failed(split(&time_value, &f.year, &f.month, &f.day, &f.hour, &f.minute, &f.second, nullptr)))
    f = CalendarFields{};
  return f;
}

DosStamp DosStampOfUnixSeconds(int64_t seconds) {
  constexpr int64_t kLimit = INT64_MAX / kMicrosPerSecond;
  if (seconds > kLimit) seconds = kLimit;
  if (seconds < -kLimit) seconds = -kLimit;
  const CalendarFields f = SplitHostTime(seconds * kMicrosPerSecond);
  if (f.year < kDosFirstYear) return DosStampOfFields(kDosFirstYear, 1, 1, 0, 0, 0);
  if (f.year > kDosLastYear) return DosStampOfFields(kDosLastYear, 12, 31, 23, 59, 58);
  return DosStampOfFields(f.year, f.month, f.day, f.hour, f.minute, f.second);
}

void StoreDos(uint8_t* h, DosStamp stamp) {
  StoreWord(h + fixed_header::kTime, stamp.time);
  StoreWord(h + fixed_header::kDate, stamp.date);
}

void StoreUnix(uint8_t* h, int64_t seconds) {
  if (seconds < 0) seconds = 0;
  if (seconds > kUnixStampLimit) seconds = kUnixStampLimit;
  StoreDWord(h + fixed_header::kTime, static_cast<uint32_t>(seconds));
}

}  // namespace

DosStamp DosTimestampNow() { return DosStampOfUnixSeconds(HostNow() / kMicrosPerSecond); }

void StampNow(uint8_t* h) {
  if (StoresUnixTime(HostOsOf(h[fixed_header::kHostOs]))) StoreUnix(h, HostNow() / kMicrosPerSecond);
  else StoreDos(h, DosTimestampNow());
}

void StampUnixSeconds(uint8_t* h, int64_t seconds) {
  if (StoresUnixTime(HostOsOf(h[fixed_header::kHostOs]))) StoreUnix(h, seconds);
  else StoreDos(h, DosStampOfUnixSeconds(seconds));
}
