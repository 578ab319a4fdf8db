// The library's chapter choice (runtime/operations/chapter_choice.h) made from
// the tool's --chapter option.
#pragma once

#include <string>
#include <vector>

#include "cli/input/args.h"
#include "runtime/operations/chapter_choice.h"

namespace cli {

// False, with a line on stderr naming `command` and `shown_archive`,
// when --chapter is not one of the archive's chapters.
bool MakeChapterChoice(const Args& args, const std::string& command, const std::string& shown_archive, int latest,
                       const std::vector<arjhost::EntryInfo>& entries, arjhost::ChapterChoice* choice);

}  // namespace cli
