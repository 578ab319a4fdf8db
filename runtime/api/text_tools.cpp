#include "runtime/api/text_tools.h"

#include <ctime>

#include "runtime/common/codepage.h"
#include "runtime/core/result_names.h"

namespace arjhost {

bool IsValidUtf8(std::string_view text) { return arjrt::IsValidUtf8(text); }
std::string DecodeToUtf8(std::string_view bytes, int codepage) { return arjrt::DecodeToUtf8(bytes, codepage); }
std::string DisplayName(std::string_view stored, int fallback_codepage) {
  return arjrt::DisplayName(stored, fallback_codepage);
}
const char* ResultName(int32_t result) { return arjrt::ResultName(result); }
std::string DescribeResult(int32_t result) { return arjrt::DescribeResult(result); }
std::string TerminalText(std::string_view utf8) { return arjrt::TerminalText(utf8); }

std::string LocalTimeText(int64_t unix_seconds) {
  const std::time_t t = static_cast<std::time_t>(unix_seconds);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return "-";
  char text[32];
  if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0) return "-";
  return text;
}

}  // namespace arjhost
