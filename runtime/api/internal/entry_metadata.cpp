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

void FillEntryMetadata(std::vector<EntryInfo>& entries, const TableVolumes& table, const VolumeHeaderSource& source) {
  const size_t table_size = table.of_entry.size();
  const size_t volumes = table.names.size();
  // Each table entry's index among the entries of its volume.
  std::vector<uint64_t> index_in_volume(table_size);
  std::vector<uint64_t> seen(volumes, 0);
  for (size_t t = 0; t < table_size; ++t) {
    const uint32_t v = table.of_entry[t];
    if (v < volumes) index_in_volume[t] = seen[v]++;
  }
  // Per volume, the parts that lie there, by that index: ascending, as the
  // entries and their parts come in table order. An entry's parts are the
  // table entries from its handle on (one when they are not known).
  struct Wanted {
    uint64_t index;
    EntryInfo* entry;
    size_t part;
  };
  std::vector<std::vector<Wanted>> in_volume(volumes);
  for (EntryInfo& e : entries) {
    e.header_known = false;
    for (size_t k = 0; k < std::max<size_t>(e.parts.size(), 1); ++k) {
      // The plug-in's table row of each part: its handle numbers it.
      const uint64_t row = e.handle.value();
      if (row == 0 || row + k > table_size) break;
      const size_t t = static_cast<size_t>(row - 1 + k);
      const uint32_t v = table.of_entry[t];
      if (v >= volumes) continue;
      in_volume[v].push_back({index_in_volume[t], &e, k});
      if (k < e.parts.size()) e.parts[k].volume = table.names[v];
    }
  }
  for (size_t v = 0; v < volumes; ++v) {
    const auto& wanted = in_volume[v];
    if (wanted.empty()) continue;
    size_t next = 0;
    uint64_t index = 0;
    source(table.names[v], [&](const format::HeaderFields& h) {
      while (next < wanted.size() && wanted[next].index < index) ++next;
      if (next < wanted.size() && wanted[next].index == index) {
        const Wanted& w = wanted[next];
        const bool named = NamesMatch(w.entry->name, h.name);
        // A first header of another name is not the entry's: the walk and
        // the table disagree. A later part's header is the one the plug-in
        // joined to the file, whatever it names: it is judged.
        if (w.part == 0 && named) ApplyHeader(h, w.entry);
        if (w.part < w.entry->parts.size() && (named || w.part > 0)) ApplyPartHeader(h, named, &w.entry->parts[w.part]);
      }
      ++index;
    });
  }
  // The entry's headers are sound only when every part's is.
  for (EntryInfo& e : entries)
    for (const EntryInfo::Part& part : e.parts)
      if (part.header_known && !part.header_crc_ok) e.header_crc_ok = false;
}

}  // namespace arjhost
