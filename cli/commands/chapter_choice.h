// Which entries of a chapter archive (arj ac) a command takes: with
// --chapter N those that belong to chapter N, else those arj takes for the
// main header's chapter (none when that chapter is refused).
#pragma once

#include <string>
#include <vector>

#include "cli/input/args.h"
#include "runtime/api/archive.h"

namespace cli {

class ChapterChoice {
 public:
  // False, with a line on stderr naming `command` and `shown_archive`,
  // when --chapter is not one of the archive's chapters.
  bool Make(const Args& args, const std::string& command, const std::string& shown_archive, int latest,
            const std::vector<arjhost::EntryInfo>& entries);
  bool Takes(const arjhost::EntryInfo& entry) const;
  bool named() const { return named_; }  // --chapter was given
  int chapter() const { return chapter_; }

 private:
  bool named_ = false;
  int chapter_ = 0;
  bool archive_chapter_refused_ = false;
};

}  // namespace cli
