#include "runtime/api/text.h"

#include "runtime/api/archive.h"

#include "runtime/common/codepage.h"
#include "runtime/core/result_names.h"

namespace arjhost {

bool IsValidUtf8(std::string_view text) { return arjrt::IsValidUtf8(text); }
std::string DecodeToUtf8(std::string_view bytes, int codepage) { return arjrt::DecodeToUtf8(bytes, codepage); }
std::string DisplayName(std::string_view stored, int fallback_codepage) {
  return arjrt::DisplayName(stored, fallback_codepage);
}
bool MadeOnUnix(const EntryInfo& entry) {
  return entry.header_known && entry.host_os == format::HostOs::kUnix;
}

std::string EntryText(std::string_view stored, const EntryInfo& entry, int fallback_codepage) {
  return MadeOnUnix(entry) ? std::string(stored) : DisplayName(stored, fallback_codepage);
}

const char* ResultName(int32_t result) { return arjrt::ResultName(result); }
std::string DescribeResult(int32_t result) { return arjrt::DescribeResult(result); }

}  // namespace arjhost
