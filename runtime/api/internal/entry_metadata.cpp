#include "runtime/api/internal/entry_metadata.h"

#include <algorithm>

#include "plugin/format/arj_layout.h"
#include "plugin/format/arj_time.h"
#include "runtime/api/internal/unix_special.h"

namespace arjhost {

bool NamesMatch(const std::string& reported, const std::string& stored) {
  if (reported == stored) return true;
  return reported.size() >= format::kStoredNameChars && stored.size() > reported.size() &&
         stored.compare(0, reported.size(), reported) == 0;
}

void ApplyHeader(const format::HeaderFields& header, EntryInfo* entry) {
  entry->header_known = true;
  entry->header_crc_ok = header.crc_matches;
  entry->file_type = header.file_type;
  entry->host_os = header.host_os;
  entry->flags = format::EntryFlagsOf(header.flags);
  entry->access_mode = header.access_mode;
  entry->first_chapter = header.first_chapter;
  entry->last_chapter = header.last_chapter;
  entry->comment = header.comment;
  entry->archiver_version = header.archiver_version;
  entry->min_version = header.min_version;
  entry->header_offset = header.offset;
  entry->modified_time = format::EntryTimeToUnix(header.file_time, header.host_os);
  entry->accessed_known = header.accessed_time != 0;
  entry->created_known = header.created_time != 0;
  entry->accessed_time = entry->accessed_known ? format::EntryTimeToUnix(header.accessed_time, header.host_os) : 0;
  entry->created_time = entry->created_known ? format::EntryTimeToUnix(header.created_time, header.host_os) : 0;
  entry->special = EntryInfo::Special::kNone;
  entry->link_target.clear();
  if (header.file_type == format::FileType::kUnixSpecial) ApplyUnixSpecial(header.unix_special, entry);
  // The plug-in keeps the first 509 bytes of a name; the header has it all.
  entry->name = header.name;
  entry->name_whole = true;
}

void ApplyPartHeader(const format::HeaderFields& header, bool named, EntryInfo::Part* part) {
  part->header_known = true;
  part->position = header.file_position;
  part->header_offset = header.offset;
  part->header_crc_ok = header.crc_matches;
  part->name_matches = named;
  part->file_type = header.file_type;
  part->method = format::MethodOf(header.method);
  part->min_version = header.min_version;
}

void FillEntryHeaders(EntryInfo& entry, const EntryHeaders& headers,
                      const std::function<std::string(uint64_t row)>& row_name) {
  entry.header_known = false;
  const uint64_t first_row = entry.handle.value();
  if (first_row == 0) return;
  format::HeaderFields h;
  for (size_t k = 0; k < std::max<size_t>(entry.parts.size(), 1); ++k) {
    const uint64_t row = first_row - 1 + k;
    if (!headers.Read(row, k == 0 ? entry.name : row_name(row), &h)) break;
    const bool named = NamesMatch(entry.name, h.name);
    // A first header of another name is not the entry's. A later part's
    // header is the one the plug-in joined to the file, whatever it names:
    // it is judged.
    if (k == 0 && named) ApplyHeader(h, &entry);
    if (k < entry.parts.size() && (named || k > 0)) ApplyPartHeader(h, named, &entry.parts[k]);
  }
  // The entry's headers are sound only when every part's is.
  for (const EntryInfo::Part& part : entry.parts)
    if (part.header_known && !part.header_crc_ok) entry.header_crc_ok = false;
}

}  // namespace arjhost
