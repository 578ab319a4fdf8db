// The format module's entry verdicts, for the API's entries.
#include "plugin/format/arj_time.h"
#include "runtime/api/archive.h"
#include "runtime/api/internal/entry_facts.h"

namespace arjhost {
namespace {

// What the first part's header says, without the parts.
format::EntryFacts HeaderFactsOf(const EntryInfo& e) {
  format::EntryFacts f;
  f.header_known = e.header_known;
  f.file_type = format::FileTypeOf(e.file_type);
  f.flags = e.flags;
  f.min_version = e.min_version;
  f.method = e.method;
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
    f.parts.push_back({p.size, p.position, p.header_known, p.name_matches, format::FileTypeOf(p.file_type),
                       p.min_version, p.method});
  return f;
}

std::string EntryProblem(const EntryInfo& entry) { return format::EntryProblem(FactsOf(entry)); }
std::string PartsProblem(const EntryInfo& entry) { return format::PartsProblem(FactsOf(entry)); }

bool TakenForArchiveChapter(const EntryInfo& entry, int chapter) {
  return format::TakenForArchiveChapter(HeaderFactsOf(entry), chapter);
}

bool BelongsToChapter(const EntryInfo& entry, int chapter) {
  return format::BelongsToChapter(HeaderFactsOf(entry), chapter);
}

std::string ArchiveChapterProblem(int chapter, const std::vector<EntryInfo>& entries) {
  bool any_taken = false;
  for (const EntryInfo& e : entries)
    if ((any_taken = TakenForArchiveChapter(e, chapter))) break;
  return format::ArchiveChapterProblem(chapter, entries.size(), any_taken);
}

int TimeStepOf(const EntryInfo& entry) { return format::TimeStepOf(format::HostOsOf(entry.host_os)); }

}  // namespace arjhost
