// Whether a listed entry's parts make up its file.
#include <string>

#include "plugin/format/arj_layout.h"
#include "runtime/api/archive.h"

namespace arjhost {

std::string PartsProblem(const EntryInfo& entry) {
  if (entry.header_known && (entry.flags & FLAG_SPLIT_PREV))
    return "its first part is missing: it continues a file from an earlier volume";
  const std::vector<EntryInfo::Part>& parts = entry.parts;
  if (parts.size() < 2 || parts[0].position < 0) return "";
  // Positions are stored in 32 bits: they wrap as a file passes 4 GiB.
  uint64_t end = static_cast<uint64_t>(parts[0].position);
  for (size_t k = 1; k < parts.size(); ++k) {
    end += parts[k - 1].size;
    if (parts[k].position >= 0 && static_cast<uint64_t>(parts[k].position) != (end & 0xFFFFFFFFu))
      return "part " + std::to_string(k + 1) + " of " + std::to_string(parts.size()) + " starts at offset " +
             std::to_string(parts[k].position) + " of the file, where the parts before it end at " +
             std::to_string(end) + ": a volume is missing or out of order";
  }
  return "";
}

}  // namespace arjhost
