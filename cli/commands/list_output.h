// The forms of one archive's listing: the table, every field of every
// entry (list -v), and the JSON object.
#pragma once

#include <cstdint>
#include <string>

#include "cli/commands/commands.h"
#include "cli/commands/session.h"
#include "cli/input/args.h"
#include "cli/output/json_writer.h"
#include "runtime/api/archive.h"

namespace cli {

// What the table needs of the entries it lists before its first row: the
// widths of the columns whose contents vary, and the totals.
struct TableSurvey {
  explicit TableSurvey(bool show_volumes) : show_volumes(show_volumes) {}
  void Add(const arjhost::EntryInfo& e, const Args& args);

  bool show_volumes;
  size_t size_width = 4, packed_width = 6, attributes_width = 5, volume_width = 0;
  uint64_t entries = 0, size = 0, packed = 0, files = 0, folders = 0, labels = 0;
  std::string last_volume;  // an entry's volume is mostly the one before it: measured once
  bool volume_measured = false;
};

// The archive's name, comment and notes, a row per entry with the name
// last, and the totals with files and folders counted (`survey`: of the
// entries `chosen` walks).
void PrintListTable(const Session& s, const TableSurvey& survey, const EntryWalk& chosen, const Args& args);
// Every stored field of every entry, one "Field = value" line each.
void PrintListTechnical(const Session& s, const EntryWalk& chosen, const Args& args);
// The members of the archive's JSON object: its state (`damaged`: as
// arjhost::ArchiveDamaged finds it of all the entries) and the entries
// `chosen` walks.
void WriteListMembers(JsonWriter& json, const Session& s, bool damaged, const EntryWalk& chosen, const Args& args);

// The lines both text forms start with: the archive, its comment, its
// protection and its chapters.
void PrintArchiveHeading(const Session& s, const Args& args);
// A stored comment, one line per line it holds, each after `indent` and
// made safe for the terminal (the indent keeps it from passing for a row).
void PrintComment(const std::string& comment, const char* indent, const Args& args);

}  // namespace cli
