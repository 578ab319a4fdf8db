// What an entry's headers must say for it to be delivered, and which
// entries a chapter takes: arj's rules, each in one place.
#include <cstdio>
#include <string>

#include "plugin/format/arj_layout.h"
#include "runtime/api/archive.h"

namespace arjhost {
namespace {

// The kinds of entry that hold no data, as messages name them; null for a file.
const char* DatalessKind(uint8_t file_type) {
  switch (file_type) {
    case kFileTypeMainHeader: return "comment header";
    case kFileTypeDirectory: return "folder";
    case kFileTypeVolumeLabel: return "volume label";
    case kFileTypeChapterLabel: return "chapter label";
    case kFileTypeUnixSpecial: return "link or special file";
    default: return nullptr;
  }
}

std::string CrcText(uint32_t crc) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", crc);
  return text;
}

std::string VersionProblem(uint8_t version, size_t part, size_t parts) {
  std::string where = part == 0 ? "" : " (part " + std::to_string(part + 1) + " of " + std::to_string(parts) + ")";
  return "it needs format version " + std::to_string(version) + where + ", newer than the " +
         std::to_string(kNewestEntryVersion) + " this reader knows (arj skips it: unknown version)";
}

}  // namespace

std::string EntryProblem(const EntryInfo& entry) {
  if (entry.header_known && entry.file_type > kLastFileType)
    return "unknown file type " + std::to_string(entry.file_type) + " (arj skips such an entry)";
  if (entry.header_known && entry.min_version > kNewestEntryVersion)
    return VersionProblem(entry.min_version, 0, entry.parts.size());
  for (size_t k = 1; k < entry.parts.size(); ++k)
    if (entry.parts[k].header_known && entry.parts[k].min_version > kNewestEntryVersion)
      return VersionProblem(entry.parts[k].min_version, k, entry.parts.size());
  const char* kind = entry.header_known ? DatalessKind(entry.file_type) : nullptr;
  // arj checks such an entry against no data: any it holds, or a CRC
  // other than that of nothing, is damage.
  if (kind != nullptr && (entry.size != 0 || entry.packed != 0))
    return std::string("a ") + kind + " entry that holds data";
  if (kind != nullptr && entry.crc != 0)
    return std::string("a ") + kind + " entry whose CRC " + CrcText(entry.crc) + " is not that of no data";
  if (entry.header_known && entry.file_type == kFileTypeUnixSpecial && entry.special == EntryInfo::Special::kUnreadable)
    return "a UNIX link or special file whose kind could not be read";
  return "";
}

bool TakenForArchiveChapter(const EntryInfo& entry, int chapter) {
  return chapter == 0 || !entry.header_known || entry.last_chapter >= chapter;
}

bool BelongsToChapter(const EntryInfo& entry, int chapter) {
  return chapter == 0 || !entry.header_known || (entry.first_chapter <= chapter && chapter <= entry.last_chapter);
}

std::string ArchiveChapterProblem(int chapter, const std::vector<EntryInfo>& entries) {
  const std::string named = "the main header names chapter " + std::to_string(chapter);
  if (chapter > kMaxChapter) return named + ", past the " + std::to_string(kMaxChapter) + " an archive may have";
  if (entries.empty()) return "";
  for (const EntryInfo& e : entries)
    if (TakenForArchiveChapter(e, chapter)) return "";
  return named + ", which takes no entry (none has it or a later one as its last chapter)";
}

}  // namespace arjhost
