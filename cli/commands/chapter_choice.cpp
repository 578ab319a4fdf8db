#include "cli/commands/chapter_choice.h"

#include <cstdlib>

#include "cli/output/messages.h"

namespace cli {

bool ChapterChoice::Make(const Args& args, const std::string& command, const std::string& shown_archive, int latest,
                         const std::vector<arjhost::EntryInfo>& entries) {
  named_ = args.Has("chapter");
  chapter_ = named_ ? std::atoi(args.Value("chapter").c_str()) : latest;
  if (named_ && (chapter_ < 1 || chapter_ > latest)) {
    const std::string why = latest == 0 ? "the archive has no chapters"
                                        : "--chapter takes a chapter from 1 to " + std::to_string(latest);
    SayError(command, "%s: %s", shown_archive.c_str(), why.c_str());
    return false;
  }
  archive_chapter_refused_ = !arjhost::CheckArchiveChapter(latest, entries).ok();
  return true;
}

bool ChapterChoice::Takes(const arjhost::EntryInfo& entry) const {
  if (named_) return arjhost::BelongsToChapter(entry, chapter_);
  return !archive_chapter_refused_ && arjhost::TakenForArchiveChapter(entry, chapter_);
}

}  // namespace cli
