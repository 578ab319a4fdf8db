// arjhost list: the entries of each archive named, as a table, every field
// (-v) or JSON, and a notice when an archive is damaged or incomplete.
#include <algorithm>

#include "cli/commands/archive_jobs.h"
#include "cli/commands/commands.h"
#include "cli/commands/list_output.h"
#include "cli/commands/session.h"
#include "cli/input/name_pattern.h"
#include "cli/output/archive_documents.h"
#include "cli/output/entry_fields.h"
#include "cli/output/json_report.h"
#include "cli/output/json_writer.h"
#include "cli/output/messages.h"

namespace cli {

void WriteListMembers(JsonWriter& json, const Session& s, const std::vector<arjhost::EntryInfo>& all,
                      const std::vector<arjhost::EntryInfo>& entries, const Args& args) {
  WriteArchiveState(json, s, all, args);
  json.Key("entries"), json.BeginArray();
  for (const arjhost::EntryInfo& e : entries) {
    json.BeginObject();
    json.Key("name"), json.String(JsonName(e, args));
    json.Key("size"), json.Unsigned(e.size);
    json.Key("packed"), json.Unsigned(e.packed);
    json.Key("method"), json.Unsigned(arjhost::format::Byte(e.method));
    json.Key("crc"), json.String(CrcText(e.crc));
    // Each part's own size and CRC, as its header holds them.
    json.Key("parts"), json.BeginArray();
    for (const arjhost::EntryInfo::Part& p : e.parts) {
      json.BeginObject();
      json.Key("size"), json.Unsigned(p.size);
      json.Key("crc"), json.String(CrcText(p.crc));
      json.Key("volume"), json.String(JsonName(p.volume, args));
      json.EndObject();
    }
    json.EndArray();
    // Why the parts do not make up the file; null when they do.
    const arjhost::Status parts = arjhost::CheckParts(e);
    json.Key("parts_problem");
    if (parts.ok()) json.Null();
    else json.String(parts.message);
    json.Key("garbled"), json.Bool(e.garbled);
    json.Key("header_crc_ok"), json.Bool(e.header_crc_ok);
    json.Key("volume"), json.String(JsonName(e.volume, args));
    json.Key("folder"), json.Bool(KindOf(e) == EntryKind::kFolder);
    // Null where the entry's header could not be matched.
    if (e.header_known) {
      json.Key("modified"), json.String(ModifiedText(e));
      json.Key("file_type"), json.Unsigned(arjhost::format::Byte(e.file_type));
      json.Key("host_os"), json.Unsigned(arjhost::format::Byte(e.host_os));
      json.Key("comment"), json.String(JsonName(e.comment, args));
      json.Key("chapters"), json.BeginArray(), json.Unsigned(e.first_chapter), json.Unsigned(e.last_chapter);
      json.EndArray();
      json.Key("attributes"), json.Unsigned(e.access_mode);
      json.Key("flags"), json.Unsigned(arjhost::format::Byte(e.flags));
      json.Key("header_offset"), json.Unsigned(e.header_offset);
    } else {
      for (const char* key :
           {"modified", "file_type", "host_os", "comment", "chapters", "attributes", "flags", "header_offset"})
        json.Key(key), json.Null();
    }
    json.EndObject();
  }
  json.EndArray();
}

namespace {

// Names every entry whose parts do not make up its file (test and extract
// name them as they fail); true when there is one.
bool ReportPartsProblems(const Session& s, const std::vector<arjhost::EntryInfo>& entries, const Args& args) {
  bool any = false;
  for (const arjhost::EntryInfo& e : entries) {
    const arjhost::Status parts = arjhost::CheckParts(e);
    if (parts.ok()) continue;
    any = true;
    SayError("", "%s: %s: %s", ShowPath(s.archive_path).c_str(), ShowName(e, args).c_str(), parts.message.c_str());
  }
  return any;
}

}  // namespace

// Which of the entry's headers fails its CRC: "header", or that of a later part.
std::string DamagedHeader(const arjhost::EntryInfo& e, const Args& args) {
  if (!e.parts.empty() && e.parts[0].header_crc_ok)
    for (size_t k = 1; k < e.parts.size(); ++k)
      if (e.parts[k].header_known && !e.parts[k].header_crc_ok)
        return "header of part " + std::to_string(k + 1) + " of " + std::to_string(e.parts.size()) +
               (e.parts[k].volume.empty() ? "" : " (in " + ShowName(e.parts[k].volume, args) + ")");
  return "header";
}

// Prints the notices of a damaged, incomplete or empty archive and of
// entries whose header (any part's) fails its CRC; returns the exit code.
int ReportArchiveState(const Session& s, const std::vector<arjhost::EntryInfo>& entries, const Args& args) {
  bool bad_header = false;
  for (const arjhost::EntryInfo& e : entries)
    if (!e.header_crc_ok) {
      bad_header = true;
      SayError("", "%s: %s: header CRC mismatch: the %s is damaged%s", ShowPath(s.archive_path).c_str(),
          ShowName(e, args).c_str(), DamagedHeader(e, args).c_str(),
          s.recover ? "" : " (--recover leaves such entries out)");
    }
  const arjhost::ArchiveState& state = s.archive->state();
  for (const std::string& volume : state.damaged_main_headers)
    SayError("", "%s: main header CRC mismatch: the archive header is damaged",
        ShowPath(volume.empty() ? s.archive_path : volume).c_str());
  if (state.secured)
    SayError("", "%s: the archive is sealed with an ARJ-SECURITY envelope, which is not verified",
        ShowPath(s.archive_path).c_str());
  if (!state.skipped.empty())
    SayError("", "%s: archive is damaged; recovered what lies outside the %zu skipped range%s",
        ShowPath(s.archive_path).c_str(), state.skipped.size(), state.skipped.size() == 1 ? "" : "s");
  else if (state.damaged)
    SayError("", "%s: archive is damaged; showing what could be read%s", ShowPath(s.archive_path).c_str(),
        s.recover ? "" : " (--recover reads past the damage)");
  for (const arjhost::UnreadableVolume& v : state.unreadable_volumes)
    SayError("", "%s: archive is incomplete: its volume %s cannot be read: %s (the set ends before it)",
        ShowPath(s.archive_path).c_str(), ShowPath(v.name).c_str(), v.status.message.c_str());
  // An unreadable volume is what the plug-in's incompleteness is about then.
  if (state.incomplete && state.unreadable_volumes.empty() && !state.missing_volume.empty())
    SayError("", "%s: archive is incomplete: a volume that an entry continues into is missing: %s",
        ShowPath(s.archive_path).c_str(), ShowName(state.missing_volume, args).c_str());
  else if (state.incomplete && state.unreadable_volumes.empty())
    SayError("", "%s: archive is incomplete: a volume of its set is missing", ShowPath(s.archive_path).c_str());
  // As arj warns of an archive without entries (and unzip of an empty zip).
  if (entries.empty()) SayError("", "%s: the archive holds no entries", ShowPath(s.archive_path).c_str());
  // arj then takes nothing, and fails.
  const arjhost::Status chapter = arjhost::CheckArchiveChapter(state.chapter, entries);
  if (!chapter.ok()) SayError("", "%s: %s", ShowPath(s.archive_path).c_str(), chapter.message.c_str());
  // Recovery of one volume of a set (--single-volume, said at the open):
  // the entries of the others were never seen, so no verdict is whole.
  const bool part_of_set = s.recover && state.multi_volume && !s.options.scan_all_volumes;
  const bool trouble = state.damaged || state.incomplete || bad_header || !state.damaged_main_headers.empty() ||
                       state.secured || entries.empty() || !chapter.ok() || part_of_set;
  return trouble ? kExitPartial : kExitOk;
}

namespace {

// Lists one archive in the form asked for; returns the exit code.
int ListOne(const Args& args, const ArchivePlan& plan, size_t index, ArchiveDocument& document) {
  if (!document.wanted() && index > 0) Print("\n");
  const std::string& path = plan.paths[index];
  Session s;
  if (!OpenArchive(args, "list", path, &s)) {
    document.Failed(path, LastError());
    return kExitFailure;
  }
  std::vector<arjhost::EntryInfo> entries = s.archive->Entries();
  NameSelection selection(plan.patterns, args);
  // A copy only when something is left out: the entries of a large
  // archive are most of the listing's memory.
  std::vector<arjhost::EntryInfo> some;
  if (!selection.TakesEverything())
    for (const arjhost::EntryInfo& e : entries)
      if (selection.Takes(e.name, ExtractedName(e, args))) some.push_back(e);
  const std::vector<arjhost::EntryInfo>& chosen = selection.TakesEverything() ? entries : some;
  const auto write_document = [&](bool ok) {
    WriteListMembers(document.Begin(), s, entries, chosen, args);
    document.End(ok);
  };
  // The listing before its notices on stderr; a line says the verdict,
  // and comes after them.
  if (document.wanted() && !document.lines()) write_document(true);
  else if (!document.wanted() && args.Has("technical")) PrintListTechnical(s, chosen, args);
  else if (!document.wanted()) PrintListTable(s, chosen, args);
  int code = ReportArchiveState(s, entries, args);
  for (const std::string& p : selection.Unmatched()) {
    SayError("", "%s: no entry matches \"%s\"", ShowPath(s.archive_path).c_str(), ShowPath(p).c_str());
    code = std::max(code, kExitPartial);
  }
  if (ReportPartsProblems(s, chosen, args)) code = kExitPartial;
  if (document.lines()) write_document(code == kExitOk);
  return code;
}

}  // namespace

int RunList(const Args& args) {
  ArchivePlan plan;
  if (!PlanArchives(args, "list", &plan)) return kExitFailure;
  return WorstOf(CheckArchives(
      plan, [&](size_t index, ArchiveDocument& document) { return ListOne(args, plan, index, document); }));
}

}  // namespace cli
