// The entry fields the plug-in does not report (times, file type, host,
// attributes), taken from each logical entry's first local header, and
// what each later part's own header says.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "plugin/format/header_walk.h"
#include "runtime/api/archive.h"

namespace arjhost {

// The plug-in's table as far as the mapping needs it: the volumes in the
// order they appear, and for each table entry the volume it lies in.
struct TableVolumes {
  std::vector<std::string> names;     // "" for a single-volume archive
  std::vector<uint32_t> of_entry;     // index into `names`, one per table entry
};

// Walks the local headers of a volume by name through `visit` (none when
// it cannot be read).
using VolumeHeaderSource = std::function<void(const std::string& volume, const format::HeaderVisitor& visit)>;

// Whether the name the plug-in reports belongs to a header's stored name:
// the same bytes, or a name the plug-in cut at its limit.
bool NamesMatch(const std::string& reported, const std::string& stored);

// Copies the header's fields into `entry` and marks it known.
void ApplyHeader(const format::HeaderFields& header, EntryInfo* entry);

// Copies what a part's own header says into `part`; `named`: the header
// names the entry's file.
void ApplyPartHeader(const format::HeaderFields& header, bool named, EntryInfo::Part* part);

// Fills the header fields of `entries` and the position of each part: the
// plug-in lists a volume's entries in header order and the volumes in
// order, so a table entry's index among the entries of its volume is its
// header's index in that volume. An entry whose header is missing or names
// another file is left with header_known = false; every part's header is
// read into its Part. Walks each volume once, keeping no headers.
void FillEntryMetadata(std::vector<EntryInfo>& entries, const TableVolumes& table, const VolumeHeaderSource& source);

}  // namespace arjhost
