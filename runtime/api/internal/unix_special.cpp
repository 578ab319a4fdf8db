#include "runtime/api/internal/unix_special.h"

#include <iterator>

#include "plugin/format/unix_special.h"

namespace arjhost {
namespace {

using format::UnixSpecialKind;

// Each kind as the record stores it, as an entry reads it and as new
// content asks for it.
constexpr struct {
  UnixSpecialKind stored;
  EntryInfo::Special special;
  ContentKind content;
} kKinds[] = {
    {UnixSpecialKind::kFifo, EntryInfo::Special::kFifo, ContentKind::kFifo},
    {UnixSpecialKind::kHardLink, EntryInfo::Special::kHardLink, ContentKind::kHardLink},
    {UnixSpecialKind::kSymbolicLink, EntryInfo::Special::kSymbolicLink, ContentKind::kSymbolicLink},
    {UnixSpecialKind::kBlockDevice, EntryInfo::Special::kBlockDevice, ContentKind::kBlockDevice},
    {UnixSpecialKind::kCharDevice, EntryInfo::Special::kCharDevice, ContentKind::kCharDevice},
};
static_assert(std::size(kKinds) == static_cast<size_t>(format::kLastUnixSpecialKind) + 1, "every stored kind");

}  // namespace

void ApplyUnixSpecial(const std::string& body, EntryInfo* entry) {
  entry->special = EntryInfo::Special::kUnreadable;
  entry->link_target.clear();
  UnixSpecialKind kind{};
  std::string_view payload;
  if (!format::DecodeUnixSpecial(body, &kind, &payload)) return;
  for (const auto& k : kKinds)
    if (k.stored == kind) entry->special = k.special;
  if (format::IsLink(kind)) entry->link_target.assign(payload);
}

std::string UnixSpecialBody(const NewContent& content) {
  for (const auto& k : kKinds) {
    if (k.content != content.kind) continue;
    if (format::IsLink(k.stored)) return format::EncodeUnixSpecial(k.stored, content.link_target);
    const bool device = k.stored != UnixSpecialKind::kFifo;
    return format::EncodeUnixSpecial(k.stored, device ? format::DevicePayload(content.device) : "");
  }
  return "";  // a file or folder has no record
}

}  // namespace arjhost
