#include "runtime/api/internal/unix_special.h"

#include <cstdint>
#include <iterator>

namespace arjhost {

// The body, as arj 3.10 writes it: a reserved byte (0), then one byte
// holding the kind in its top three bits and the length of what follows in
// the low five; a length of 31 says a 16-bit little-endian length follows
// instead. A device then stores its 8-byte device number, a link its
// target; a FIFO stores nothing.
namespace {
constexpr uint8_t kLongLength = 31;
}  // namespace

void ApplyUnixSpecial(const std::string& body, EntryInfo* entry) {
  using Special = EntryInfo::Special;
  static constexpr Special kKinds[] = {Special::kFifo, Special::kHardLink, Special::kSymbolicLink,
                                       Special::kBlockDevice, Special::kCharDevice};
  entry->special = Special::kUnreadable;
  entry->link_target.clear();
  if (body.size() < 2) return;
  const auto kind_and_length = static_cast<uint8_t>(body[1]);
  const unsigned kind = kind_and_length >> 5;
  size_t length = kind_and_length & 0x1F;
  size_t at = 2;
  if (length == kLongLength) {
    if (body.size() < 4) return;
    length = static_cast<uint8_t>(body[2]) | (static_cast<size_t>(static_cast<uint8_t>(body[3])) << 8);
    at = 4;
  }
  if (kind >= std::size(kKinds) || body.size() - at != length) return;
  const Special special = kKinds[kind];
  const bool link = special == Special::kHardLink || special == Special::kSymbolicLink;
  // A target is a C string to the system: a NUL inside would cut it.
  if (link && (length == 0 || body.find('\0', at) != std::string::npos)) return;
  entry->special = special;
  if (link) entry->link_target = body.substr(at);
}

std::string UnixSpecialBody(const NewContent& content) {
  std::string payload;
  unsigned kind = 0;
  switch (content.kind) {
    case ContentKind::kFile:
    case ContentKind::kFolder:
      return "";
    case ContentKind::kFifo:
      kind = 0;
      break;
    case ContentKind::kHardLink:
    case ContentKind::kSymbolicLink:
      kind = content.kind == ContentKind::kHardLink ? 1 : 2;
      payload = content.link_target;
      break;
    case ContentKind::kBlockDevice:
    case ContentKind::kCharDevice:
      kind = content.kind == ContentKind::kBlockDevice ? 3 : 4;
      for (int i = 0; i < 8; ++i) payload.push_back(static_cast<char>(content.device >> (8 * i)));
      break;
  }
  std::string body(1, '\0');  // the reserved byte
  if (payload.size() < kLongLength) {
    body.push_back(static_cast<char>(kind << 5 | payload.size()));
  } else {
    body.push_back(static_cast<char>(kind << 5 | kLongLength));
    body.push_back(static_cast<char>(payload.size() & 0xFF));
    body.push_back(static_cast<char>(payload.size() >> 8));
  }
  return body + payload;
}

}  // namespace arjhost
