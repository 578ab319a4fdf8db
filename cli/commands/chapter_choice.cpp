#include "cli/commands/chapter_choice.h"

#include <cstdlib>

#include "cli/output/messages.h"

namespace cli {

bool MakeChapterChoice(const Args& args, const std::string& command, const std::string& shown_archive, int latest,
                       const std::vector<arjhost::EntryInfo>& entries, arjhost::ChapterChoice* choice) {
  const int named = args.Has("chapter") ? std::atoi(args.Value("chapter").c_str()) : 0;
  // --chapter 0 is no chapter of any archive.
  const arjhost::Status made =
      arjhost::ChapterChoice::Make(args.Has("chapter") && named == 0 ? -1 : named, latest, entries, choice);
  if (made.ok()) return true;
  const std::string why = latest == 0 ? made.message : "--chapter takes a chapter from 1 to " + std::to_string(latest);
  SayError(command, "%s: %s", shown_archive.c_str(), why.c_str());
  return false;
}

}  // namespace cli
