// The format module's entry verdicts, for the API's entries.
#include <algorithm>

#include "plugin/format/arj_time.h"
#include "runtime/api/archive.h"
#include "runtime/api/internal/entry_facts.h"
#include "runtime/api/internal/status_of.h"

namespace arjhost {
namespace {

// What the first part's header says, without the parts.
format::EntryFacts HeaderFactsOf(const EntryInfo& e) {
  format::EntryFacts f;
  f.header_known = e.header_known;
  f.header_crc_ok = e.parts.empty() ? e.header_crc_ok : e.parts[0].header_crc_ok;
  f.file_type = e.file_type;
  f.flags = format::Byte(e.flags);
  f.min_version = e.min_version;
  f.method = format::Byte(e.method);
  f.first_chapter = e.first_chapter;
  f.last_chapter = e.last_chapter;
  f.size = e.size;
  f.packed = e.packed;
  f.crc = e.crc;
  f.unix_record_unreadable = e.special == EntryInfo::Special::kUnreadable;
  return f;
}

}  // namespace

format::EntryFacts FactsOf(const EntryInfo& e) {
  format::EntryFacts f = HeaderFactsOf(e);
  f.parts.reserve(e.parts.size());
  for (const EntryInfo::Part& p : e.parts)
    f.parts.push_back({p.size, p.position, p.header_known, p.name_matches, p.header_crc_ok, p.file_type,
                       p.min_version, format::Byte(p.method)});
  return f;
}

Status CheckEntry(const EntryInfo& entry) { return StatusOf(format::EntryProblem(FactsOf(entry))); }
Status CheckParts(const EntryInfo& entry) { return StatusOf(format::PartsProblem(FactsOf(entry))); }

bool MarkedForDamagedHeader(const EntryInfo& entry, EntryInfo* marked) {
  if (!format::HoldsFileData(entry.file_type) || CheckEntry(entry).ok()) return false;
  EntryInfo taken = entry;
  taken.header_crc_ok = true;
  for (EntryInfo::Part& p : taken.parts) p.header_crc_ok = true;
  if (!CheckEntry(taken).ok()) return false;
  taken.name += kDamagedHeaderMark;
  *marked = std::move(taken);
  return true;
}

bool ArchiveDamaged(const ArchiveState& state, const std::vector<EntryInfo>& entries) {
  return ArchiveDamaged(state,
                        std::any_of(entries.begin(), entries.end(), [](const EntryInfo& e) { return !e.header_crc_ok; }));
}

bool ArchiveDamaged(const ArchiveState& state, bool header_damaged) {
  return state.damaged || !state.damaged_main_headers.empty() || header_damaged;
}

bool TakenForArchiveChapter(const EntryInfo& entry, int chapter) {
  return format::TakenForArchiveChapter(HeaderFactsOf(entry), chapter);
}

bool BelongsToChapter(const EntryInfo& entry, int chapter) {
  return format::BelongsToChapter(HeaderFactsOf(entry), chapter);
}

Status CheckArchiveChapter(int chapter, const std::vector<EntryInfo>& entries) {
  bool any_taken = false;
  for (const EntryInfo& e : entries)
    if ((any_taken = TakenForArchiveChapter(e, chapter))) break;
  return CheckArchiveChapter(chapter, entries.size(), any_taken);
}

Status CheckArchiveChapter(int chapter, uint64_t entry_count, bool any_taken) {
  return StatusOf(format::ArchiveChapterProblem(chapter, entry_count, any_taken));
}

int TimeStepOf(const EntryInfo& entry) { return format::TimeStepOf(entry.host_os); }

}  // namespace arjhost
