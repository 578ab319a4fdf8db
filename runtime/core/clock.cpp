#include "runtime/core/clock.h"

#include <chrono>
#include <cstring>
#include <ctime>

namespace arjrt {

ResultCode HostCurrentTime(void* time_value) {
  if (time_value == nullptr) return ERR_BAD_PARAMETER;
  const int64_t now =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
          .count();
  std::memcpy(time_value, &now, sizeof now);
  return RESULT_OK;
}

ResultCode HostSplitTime(const void* time_value, int32_t* year, int32_t* month, int32_t* day, int32_t* hour,
                         int32_t* minute, int32_t* second, void* /*reserved*/) {
  if (time_value == nullptr) return ERR_BAD_PARAMETER;
  int64_t micros;
  std::memcpy(&micros, time_value, sizeof micros);
  std::time_t seconds = static_cast<std::time_t>(micros / 1000000);
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return ERR_BAD_PARAMETER;
  if (year) *year = local.tm_year + 1900;
  if (month) *month = local.tm_mon + 1;
  if (day) *day = local.tm_mday;
  if (hour) *hour = local.tm_hour;
  if (minute) *minute = local.tm_min;
  if (second) *second = local.tm_sec;
  return RESULT_OK;
}

}  // namespace arjrt
