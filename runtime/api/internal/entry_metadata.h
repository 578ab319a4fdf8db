// The entry fields the plug-in does not report (times, file type, host,
// attributes), taken from each logical entry's first local header, and
// what each later part's own header says.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "plugin/format/header_fields.h"
#include "runtime/api/archive.h"
#include "runtime/api/internal/entry_headers.h"

namespace arjhost {

// Whether the name the plug-in reports belongs to a header's stored name:
// the same bytes, or a name the plug-in cut at its limit.
bool NamesMatch(const std::string& reported, const std::string& stored);

// Copies the header's fields into `entry` and marks it known.
void ApplyHeader(const format::HeaderFields& header, EntryInfo* entry);

// Copies what a part's own header says into `part`; `named`: the header
// names the entry's file.
void ApplyPartHeader(const format::HeaderFields& header, bool named, EntryInfo::Part* part);

// Fills the header fields of `entry` and of each of its parts from the
// headers of its table rows (its handle's row and the next for each later
// part), as the plug-in's scan read them; `row_name` gives the name the
// plug-in reports for a row. A first header naming another file leaves
// the entry with header_known = false; a later part's header is judged
// whatever it names.
void FillEntryHeaders(EntryInfo& entry, const EntryHeaders& headers,
                      const std::function<std::string(uint64_t row)>& row_name);

}  // namespace arjhost
