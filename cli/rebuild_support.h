// What delete, replace, add and create share: the archive a rewrite may
// start from, the method option, the destination, and running the rebuild.
#pragma once

#include <optional>
#include <string>

#include "cli/args.h"
#include "cli/session.h"
#include "runtime/api/rebuild.h"

namespace cli {

// Opens the archive of operand 1 and refuses (one line on stderr) one that
// a rewrite cannot start from: several volumes, damaged, incomplete.
bool OpenRewritable(const Args& args, const std::string& command, Session* session);

// -m METHOD: 0..4, or nullopt when not given. False for another value.
bool MethodOption(const Args& args, const std::string& command, int* method);

// -o OUT, else the archive itself.
std::string Destination(const Args& args, const std::string& archive_path);

// FILE or FILE=STORED_NAME as new content; false with a line on stderr.
bool ParseAddedFile(const std::string& operand, const std::string& command, int method, arjhost::NewContent* out);

// With --json: what the rewrite wrote (or would have), or why not.
void PrintRebuildJson(Session& session, const Args& args, const std::string& command,
                      const arjhost::ChangeSet& changes, const std::string& destination, bool written,
                      const std::string& error);

// Runs the rebuild, with a progress line on a terminal; reports success on
// stdout (with --json: what was written, or why not), failure on stderr.
// Returns the exit code: `partial` turns success into kExitPartial.
int RunRebuild(Session& session, const Args& args, const std::string& command, const arjhost::ChangeSet& changes,
               const std::string& destination, bool partial);

}  // namespace cli
