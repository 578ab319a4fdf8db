#include <algorithm>
#include <ctime>

#include "plugin/format/header_writer.h"
#include "runtime/api/internal/stored_headers.h"
#include "runtime/api/rebuild.h"

namespace arjhost {
namespace {

// Keeps the basic header well inside what readers recognise.
constexpr size_t kMaxNameLength = 500;

// The archivers stamp headers of a UNIX host with Unix seconds (an MS-DOS
// date there would be read as one).
uint32_t UnixStampNow() {
  const std::time_t now = std::time(nullptr);
  return now < 0 ? 0 : static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(now), 0xFFFFFFFFu));
}

}  // namespace

std::vector<uint8_t> EmptyArchiveBytes(const std::string& name) {
  uint8_t fixed[format::kFixedHeaderSize];
  format::NewFixedHeader(format::FileType::kMainHeader, fixed);
  const uint32_t stamp = UnixStampNow();
  format::StoreDWord(fixed + format::main_header::kCreated, stamp);
  format::StoreDWord(fixed + format::main_header::kModified, stamp);
  const std::string stored = name.substr(0, kMaxNameLength);
  std::vector<uint8_t> out;
  const format::ByteWriter writer = VectorWriter(&out);
  format::WriteBasicHeader(
      writer, format::BasicHeaderOf(fixed, {reinterpret_cast<const uint8_t*>(stored.data()),
                                            static_cast<uint32_t>(stored.size())}, {}));
  format::WriteExtendedEnd(writer);
  format::WriteEndMarker(writer);
  return out;
}

}  // namespace arjhost
