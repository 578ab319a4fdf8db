// Whether a listed entry's parts make up its file.
#include <string>

#include "plugin/format/arj_layout.h"
#include "runtime/api/archive.h"

namespace arjhost {
namespace {

bool HoldsFileData(uint8_t file_type) { return file_type == kFileTypeBinary || file_type == kFileTypeText; }

// Binary and text parts join into one file (arj converts neither here);
// any other type must be the first part's own.
bool SameKind(uint8_t first, uint8_t later) {
  return first == later || (HoldsFileData(first) && HoldsFileData(later));
}

std::string PartOf(size_t k, size_t count) {
  return "part " + std::to_string(k + 1) + " of " + std::to_string(count);
}

}  // namespace

std::string PartsProblem(const EntryInfo& entry) {
  if (entry.header_known && (entry.flags & FLAG_SPLIT_PREV))
    return "its first part is missing: it continues a file from an earlier volume";
  const std::vector<EntryInfo::Part>& parts = entry.parts;
  // Each later part is judged by its own header, as the first is.
  const bool first_known = !parts.empty() && parts[0].header_known;
  for (size_t k = 1; k < parts.size(); ++k) {
    const EntryInfo::Part& part = parts[k];
    if (!part.header_known) continue;
    if (!part.name_matches) return PartOf(k, parts.size()) + " names another file in its header";
    if (first_known && !SameKind(parts[0].file_type, part.file_type))
      return PartOf(k, parts.size()) + " has file type " + std::to_string(part.file_type) + " where the first part has " +
             std::to_string(parts[0].file_type) + ": it is not a part of the same file";
  }
  if (parts.size() < 2 || parts[0].position < 0) return "";
  // Positions are stored in 32 bits: they wrap as a file passes 4 GiB.
  uint64_t end = static_cast<uint64_t>(parts[0].position);
  for (size_t k = 1; k < parts.size(); ++k) {
    end += parts[k - 1].size;
    if (parts[k].position >= 0 && static_cast<uint64_t>(parts[k].position) != (end & 0xFFFFFFFFu))
      return PartOf(k, parts.size()) + " starts at offset " + std::to_string(parts[k].position) +
             " of the file, where the parts before it end at " + std::to_string(end) +
             ": a volume is missing or out of order";
  }
  return "";
}

}  // namespace arjhost
