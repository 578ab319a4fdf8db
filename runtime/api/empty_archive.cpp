#include <algorithm>
#include <ctime>

#include "runtime/api/rebuild.h"
#include "plugin/format/crc32.h"

namespace arjhost {
namespace {

constexpr uint8_t kFirstHeaderSize = 30;
constexpr uint8_t kArchiverVersion = 11;
constexpr uint8_t kMinVersion = 1;
constexpr uint8_t kHostOsUnix = 2;
constexpr uint8_t kFileTypeMainHeader = 2;
constexpr size_t kMaxNameLength = 500;  // keeps the basic header well inside what readers recognise

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// The archivers stamp headers of a UNIX host with Unix seconds (an MS-DOS
// date there would be read as one).
uint32_t UnixStampNow() {
  const std::time_t now = std::time(nullptr);
  return now < 0 ? 0 : static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(now), 0xFFFFFFFFu));
}

}  // namespace

std::vector<uint8_t> EmptyArchiveBytes(const std::string& name) {
  const uint32_t stamp = UnixStampNow();
  std::vector<uint8_t> basic;
  basic.push_back(kFirstHeaderSize);
  basic.push_back(kArchiverVersion);
  basic.push_back(kMinVersion);
  basic.push_back(kHostOsUnix);
  basic.push_back(0);  // flags
  basic.push_back(0);  // security version
  basic.push_back(kFileTypeMainHeader);
  basic.push_back(0);  // reserved
  Put32(basic, stamp);  // created
  Put32(basic, stamp);  // modified
  Put32(basic, 0);      // archive size
  Put32(basic, 0);      // security envelope position
  Put16(basic, 0);      // filespec position
  Put16(basic, 0);      // security envelope length
  basic.push_back(0);   // encryption version
  basic.push_back(0);   // last chapter
  const std::string stored = name.substr(0, kMaxNameLength);
  basic.insert(basic.end(), stored.begin(), stored.end());
  basic.push_back(0);  // name terminator
  basic.push_back(0);  // empty comment

  std::vector<uint8_t> out;
  Put16(out, 0xEA60);
  Put16(out, static_cast<uint32_t>(basic.size()));
  out.insert(out.end(), basic.begin(), basic.end());
  Put32(out, arjhost::format::Crc32Update(basic.size(), basic.data(), 0));
  Put16(out, 0);  // no extended header
  Put16(out, 0xEA60);
  Put16(out, 0);  // end of archive
  return out;
}

}  // namespace arjhost
