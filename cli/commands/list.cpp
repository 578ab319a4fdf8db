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

void WriteListMembers(JsonWriter& json, const Session& s, bool damaged, const EntryWalk& chosen, const Args& args) {
  WriteArchiveState(json, s, damaged, args);
  json.Key("entries"), json.BeginArray();
  chosen([&](const arjhost::EntryInfo& e) {
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
  });
  json.EndArray();
}

EntryWalk WalkOf(const std::vector<arjhost::EntryInfo>& entries) {
  return [&entries](const EntryVisitor& visit) {
    for (const arjhost::EntryInfo& e : entries) visit(e);
  };
}

void ArchiveEntryFacts::Add(const arjhost::EntryInfo& e, int chapter) {
  ++count;
  header_damaged = header_damaged || !e.header_crc_ok;
  chapter_taken = chapter_taken || arjhost::TakenForArchiveChapter(e, chapter);
}

namespace {

// Names every entry whose parts do not make up its file (test and extract
// name them as they fail).
void ReportPartsProblems(const Session& s, const EntryWalk& entries, const Args& args) {
  entries([&](const arjhost::EntryInfo& e) {
    const arjhost::Status parts = arjhost::CheckParts(e);
    if (!parts.ok())
      SayError("", "%s: %s: %s", ShowPath(s.archive_path).c_str(), ShowName(e, args).c_str(), parts.message.c_str());
  });
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

int ReportArchiveState(const Session& s, const std::vector<arjhost::EntryInfo>& entries, const Args& args) {
  ArchiveEntryFacts facts;
  for (const arjhost::EntryInfo& e : entries) facts.Add(e, s.archive->state().chapter);
  return ReportArchiveState(s, facts, WalkOf(entries), args);
}

int ReportArchiveState(const Session& s, const ArchiveEntryFacts& facts, const EntryWalk& all, const Args& args) {
  if (facts.header_damaged)
    all([&](const arjhost::EntryInfo& e) {
      if (!e.header_crc_ok)
        SayError("", "%s: %s: header CRC mismatch: the %s is damaged%s", ShowPath(s.archive_path).c_str(),
            ShowName(e, args).c_str(), DamagedHeader(e, args).c_str(),
            s.recover ? "" : " (--recover leaves such entries out)");
    });
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
  if (facts.count == 0) SayError("", "%s: the archive holds no entries", ShowPath(s.archive_path).c_str());
  // arj then takes nothing, and fails.
  const arjhost::Status chapter = arjhost::CheckArchiveChapter(state.chapter, facts.count, facts.chapter_taken);
  if (!chapter.ok()) SayError("", "%s: %s", ShowPath(s.archive_path).c_str(), chapter.message.c_str());
  // Recovery of one volume of a set (--single-volume, said at the open):
  // the entries of the others were never seen, so no verdict is whole.
  const bool part_of_set = s.recover && state.multi_volume && !s.options.scan_all_volumes;
  const bool trouble = arjhost::ArchiveDamaged(state, facts.header_damaged) || state.incomplete || state.secured ||
                       facts.count == 0 || !chapter.ok() || part_of_set;
  return trouble ? kExitPartial : kExitOk;
}

namespace {

// Lists one archive in the form asked for; returns the exit code. The
// entries are walked, not kept: once for what the listing needs before its
// first row, once to list them, and again only for notices of damage.
int ListOne(const Args& args, const ArchivePlan& plan, size_t index, ArchiveDocument& document) {
  if (!document.wanted() && index > 0) Print("\n");
  const std::string& path = plan.paths[index];
  Session s;
  if (!OpenArchive(args, "list", path, &s)) {
    document.Failed(path, LastError());
    return kExitFailure;
  }
  const arjhost::ArchiveState& state = s.archive->state();
  NameSelection selection(plan.patterns, args);
  const auto taken = [&](const arjhost::EntryInfo& e) {
    return selection.TakesEverything() || selection.Takes(e.name, ExtractedName(e, args));
  };
  ArchiveEntryFacts facts;
  TableSurvey table(state.volumes.size() > 1);
  bool parts_problem = false;
  s.archive->ForEachEntry([&](const arjhost::EntryInfo& e) {
    facts.Add(e, state.chapter);
    if (taken(e)) {
      table.Add(e, args);
      parts_problem = parts_problem || !arjhost::CheckParts(e).ok();
    }
    return true;
  });
  const EntryWalk all = [&](const EntryVisitor& visit) {
    s.archive->ForEachEntry([&](const arjhost::EntryInfo& e) {
      visit(e);
      return true;
    });
  };
  const EntryWalk chosen = [&](const EntryVisitor& visit) {
    all([&](const arjhost::EntryInfo& e) {
      if (taken(e)) visit(e);
    });
  };
  const auto write_document = [&](bool ok) {
    WriteListMembers(document.Begin(), s, arjhost::ArchiveDamaged(state, facts.header_damaged), chosen, args);
    document.End(ok);
  };
  // The listing before its notices on stderr; a line says the verdict,
  // and comes after them.
  if (document.wanted() && !document.lines()) write_document(true);
  else if (!document.wanted() && args.Has("technical")) PrintListTechnical(s, chosen, args);
  else if (!document.wanted()) PrintListTable(s, table, chosen, args);
  int code = ReportArchiveState(s, facts, all, args);
  for (const std::string& p : selection.Unmatched()) {
    SayError("", "%s: no entry matches \"%s\"", ShowPath(s.archive_path).c_str(), ShowPath(p).c_str());
    code = std::max(code, kExitPartial);
  }
  if (parts_problem) {
    ReportPartsProblems(s, chosen, args);
    code = kExitPartial;
  }
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
