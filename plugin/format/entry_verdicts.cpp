#include "plugin/format/entry_verdicts.h"

#include <cstdio>

#include "plugin/format/split_chain.h"

namespace arjhost::format {
namespace {

// The kinds of entry that hold no data, as messages name them; null for a file.
const char* DatalessKind(FileType type) {
  switch (type) {
    case FileType::kMainHeader: return "comment header";
    case FileType::kDirectory: return "folder";
    case FileType::kVolumeLabel: return "volume label";
    case FileType::kChapterLabel: return "chapter label";
    case FileType::kUnixSpecial: return "link or special file";
    default: return nullptr;
  }
}

std::string CrcText(uint32_t crc) {
  char text[9];
  std::snprintf(text, sizeof text, "%08x", crc);
  return text;
}

std::string PartOf(size_t k, size_t count) { return "part " + std::to_string(k + 1) + " of " + std::to_string(count); }

std::string VersionProblem(uint8_t version, size_t part, size_t parts) {
  std::string where = part == 0 ? "" : " (" + PartOf(part, parts) + ")";
  return "it needs format version " + std::to_string(version) + where + ", newer than the " +
         std::to_string(kNewestEntryVersion) + " this reader knows (arj skips it: unknown version)";
}

}  // namespace

Verdict EntryProblem(const EntryFacts& entry) {
  if (entry.header_known && !entry.header_crc_ok)
    return {Fault::kDamaged, "header CRC mismatch: the header is damaged"};
  for (size_t k = 1; k < entry.parts.size(); ++k)
    if (entry.parts[k].header_known && !entry.parts[k].header_crc_ok)
      return {Fault::kDamaged, "header CRC mismatch: the header of " + PartOf(k, entry.parts.size()) + " is damaged"};
  if (entry.header_known && entry.file_type > kLastFileType)
    return {Fault::kUnknown, "unknown file type " + std::to_string(Byte(entry.file_type)) + " (arj skips such an entry)"};
  if (entry.header_known && entry.min_version > kNewestEntryVersion)
    return {Fault::kUnknown, VersionProblem(entry.min_version, 0, entry.parts.size())};
  for (size_t k = 1; k < entry.parts.size(); ++k)
    if (entry.parts[k].header_known && entry.parts[k].min_version > kNewestEntryVersion)
      return {Fault::kUnknown, VersionProblem(entry.parts[k].min_version, k, entry.parts.size())};
  const char* kind = entry.header_known ? DatalessKind(entry.file_type) : nullptr;
  // arj checks such an entry against no data: any it holds, or a CRC
  // other than that of nothing, is damage.
  if (kind != nullptr && (entry.size != 0 || entry.packed != 0))
    return {Fault::kDamaged, std::string("a ") + kind + " entry that holds data"};
  if (kind != nullptr && entry.crc != 0)
    return {Fault::kDamaged, std::string("a ") + kind + " entry whose CRC " + CrcText(entry.crc) + " is not that of no data"};
  if (entry.header_known && entry.file_type == FileType::kUnixSpecial && entry.unix_record_unreadable)
    return {Fault::kDamaged, "a UNIX link or special file whose kind could not be read"};
  return {};
}

Verdict PartsProblem(const EntryFacts& entry) {
  if (entry.header_known && GoesOnFromPreviousVolume(entry.flags))
    return {Fault::kPartMissing, "its first part is missing: it continues a file from an earlier volume"};
  const std::vector<PartFacts>& parts = entry.parts;
  // Each later part is judged by its own header, as the first is.
  const bool first_known = !parts.empty() && parts[0].header_known;
  for (size_t k = 1; k < parts.size(); ++k) {
    const PartFacts& part = parts[k];
    if (!part.header_known) continue;
    if (!part.name_matches) return {Fault::kDamaged, PartOf(k, parts.size()) + " names another file in its header"};
    if (first_known && !SameKindOfPart(parts[0].file_type, part.file_type))
      return {Fault::kDamaged, PartOf(k, parts.size()) + " has file type " + std::to_string(Byte(part.file_type)) +
                                   " where the first part has " + std::to_string(Byte(parts[0].file_type)) +
                                   ": it is not a part of the same file"};
  }
  if (parts.size() < 2 || parts[0].position < 0) return {};
  uint64_t end = static_cast<uint64_t>(parts[0].position);
  for (size_t k = 1; k < parts.size(); ++k) {
    end += parts[k - 1].size;
    if (parts[k].position >= 0 && !StartsWhereEarlierPartsEnd(static_cast<uint64_t>(parts[k].position), end))
      return {Fault::kPartMissing, PartOf(k, parts.size()) + " starts at offset " + std::to_string(parts[k].position) +
                                       " of the file, where the parts before it end at " + std::to_string(end) +
                                       ": a volume is missing or out of order"};
  }
  return {};
}

std::string UnsupportedMethod(const EntryFacts& entry) {
  if (entry.method <= Byte(kLastMethod))
    for (size_t k = 1; k < entry.parts.size(); ++k) {
      const PartFacts& part = entry.parts[k];
      if (part.header_known && part.method > Byte(kLastMethod))
        return "unsupported method " + std::to_string(part.method) + " (" + PartOf(k, entry.parts.size()) + ")";
    }
  return "unsupported method " + std::to_string(entry.method);
}

bool TakenForArchiveChapter(const EntryFacts& entry, int chapter) {
  return chapter == 0 || !entry.header_known || entry.last_chapter >= chapter;
}

bool BelongsToChapter(const EntryFacts& entry, int chapter) {
  return chapter == 0 || !entry.header_known || (entry.first_chapter <= chapter && chapter <= entry.last_chapter);
}

Verdict ArchiveChapterProblem(int chapter, size_t entries, bool any_taken) {
  const std::string named = "the main header names chapter " + std::to_string(chapter);
  if (chapter > kMaxChapter)
    return {Fault::kDamaged, named + ", past the " + std::to_string(kMaxChapter) + " an archive may have"};
  if (entries == 0 || any_taken) return {};
  return {Fault::kDamaged, named + ", which takes no entry (none has it or a later one as its last chapter)"};
}

}  // namespace arjhost::format
