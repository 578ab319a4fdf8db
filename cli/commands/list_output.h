// The forms of one archive's listing: the table, every field of every
// entry (list -v), and the JSON object.
#pragma once

#include <vector>

#include "cli/commands/session.h"
#include "cli/input/args.h"
#include "cli/output/json_writer.h"
#include "runtime/api/archive.h"

namespace cli {

// The archive's name, comment and notes, a row per entry with the name
// last, and the totals with files and folders counted.
void PrintListTable(const Session& s, const std::vector<arjhost::EntryInfo>& entries, const Args& args);
// Every stored field of every entry, one "Field = value" line each.
void PrintListTechnical(const Session& s, const std::vector<arjhost::EntryInfo>& entries, const Args& args);
// The members of the archive's JSON object: its state (of `all` the
// entries) and the `entries` listed.
void WriteListMembers(JsonWriter& json, const Session& s, const std::vector<arjhost::EntryInfo>& all,
                      const std::vector<arjhost::EntryInfo>& entries, const Args& args);

// The lines both text forms start with: the archive, its comment, its
// protection and its chapters.
void PrintArchiveHeading(const Session& s, const Args& args);
// A stored comment, one line per line it holds, each after `indent` and
// made safe for the terminal (the indent keeps it from passing for a row).
void PrintComment(const std::string& comment, const char* indent, const Args& args);

}  // namespace cli
