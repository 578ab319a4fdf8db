#include "runtime/api/internal/entry_metadata.h"

#include "runtime/api/internal/unix_special.h"
#include "runtime/format/entry_time.h"

namespace arjhost {

bool NamesMatch(const std::string& reported, const std::string& stored) {
  if (reported == stored) return true;
  return reported.size() >= kStoredNameChars && stored.size() > reported.size() &&
         stored.compare(0, reported.size(), reported) == 0;
}

void ApplyHeader(const arjrt::ArjHeader& header, EntryInfo* entry) {
  entry->header_known = true;
  entry->header_crc_ok = header.crc_matches;
  entry->file_type = header.file_type;
  entry->host_os = header.host_os;
  entry->flags = header.flags;
  entry->access_mode = header.access_mode;
  entry->first_chapter = header.first_chapter;
  entry->last_chapter = header.last_chapter;
  entry->comment = header.comment;
  entry->modified_time = arjrt::EntryTimeToUnix(header.file_time, header.host_os);
  entry->special = EntryInfo::Special::kNone;
  entry->link_target.clear();
  if (header.file_type == kFileTypeUnixSpecial) ApplyUnixSpecial(header.unix_extension, entry);
  // The plug-in keeps the first 509 bytes of a name; the header has it all.
  entry->name = header.name;
  entry->name_whole = true;
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
  // Per volume, the entries that start there, by that index: ascending,
  // as the entries come in table order.
  std::vector<std::vector<std::pair<uint64_t, EntryInfo*>>> starting(volumes);
  for (EntryInfo& e : entries) {
    e.header_known = false;
    if (e.handle == 0 || e.handle > table_size) continue;
    const size_t t = static_cast<size_t>(e.handle - 1);
    const uint32_t v = table.of_entry[t];
    if (v < volumes) starting[v].push_back({index_in_volume[t], &e});
  }
  for (size_t v = 0; v < volumes; ++v) {
    const auto& wanted = starting[v];
    if (wanted.empty()) continue;
    size_t next = 0;
    uint64_t index = 0;
    source(table.names[v], [&](const arjrt::ArjHeader& h) {
      while (next < wanted.size() && wanted[next].first < index) ++next;
      if (next < wanted.size() && wanted[next].first == index && NamesMatch(wanted[next].second->name, h.name))
        ApplyHeader(h, wanted[next].second);
      ++index;
    });
  }
}

}  // namespace arjhost
