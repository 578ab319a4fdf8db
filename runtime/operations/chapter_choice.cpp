#include "runtime/operations/chapter_choice.h"

#include <string>

namespace arjhost {

Status ChapterChoice::Make(int named, int latest, const std::vector<EntryInfo>& entries, ChapterChoice* choice) {
  *choice = ChapterChoice();
  choice->named_ = named != 0;
  choice->chapter_ = choice->named_ ? named : latest;
  if (choice->named_ && (named < 1 || named > latest))
    return {Code::kBadArgument, latest == 0 ? "the archive has no chapters"
                                            : "the chapter must be one from 1 to " + std::to_string(latest)};
  choice->archive_chapter_refused_ = !CheckArchiveChapter(latest, entries).ok();
  return {};
}

bool ChapterChoice::Takes(const EntryInfo& entry) const {
  if (named_) return BelongsToChapter(entry, chapter_);
  return !archive_chapter_refused_ && TakenForArchiveChapter(entry, chapter_);
}

}  // namespace arjhost
