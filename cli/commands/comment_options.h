// --comment and --entry-comment: the comments a rewrite writes in place
// of the stored ones.
#pragma once

#include <string>
#include <vector>

#include "cli/input/args.h"
#include "runtime/api/archive.h"

namespace cli {

// Whether the command line asks for a comment to be set.
bool CommentsAsked(const Args& args);

// Puts the comments asked for into `changes`: --comment TEXT (or @FILE:
// the file's bytes; '' removes the comment) for the archive, and each
// --entry-comment NAME=TEXT for the entries stored as NAME, old or added.
// False with a line on stderr for a file that cannot be read, a NAME=TEXT
// without '=', or a NAME that is no entry.
bool TakeComments(const Args& args, const std::string& command, const std::vector<arjhost::EntryInfo>& entries,
                  arjhost::ChangeSet* changes);

}  // namespace cli
