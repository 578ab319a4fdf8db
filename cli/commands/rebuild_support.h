// What delete, replace, add and create share: the archive a rewrite may
// start from, the method option, the destination, and running the rebuild.
#pragma once

#include <string>
#include <vector>

#include "cli/input/args.h"
#include "cli/commands/session.h"
#include "runtime/api/rebuild.h"

namespace cli {

// Opens the archive at `path` for writing (its lock held) and refuses (one
// line on stderr) one that a rewrite cannot start from: damaged,
// incomplete; or missing, unless `may_create` (it is then opened empty:
// Archive::created()).
bool OpenRewritable(const Args& args, const std::string& command, const std::string& path, bool may_create,
                    Session* session);

// -m METHOD: 0..4, or 1 (as arj) when not given. False for another value.
bool MethodOption(const Args& args, const std::string& command, int* method);

// --volume-size SIZE: at least kMinVolumeSize; 0 when not given. False
// (with a line on stderr) for another value.
bool VolumeSizeOption(const Args& args, const std::string& command, uint64_t* size);
// The least SIZE as help and messages name it: "10K".
std::string LeastVolumeSize();

// -o OUT, else the archive itself.
std::string Destination(const Args& args, const std::string& archive_path);

// FILE or FILE=STORED_NAME as new content; false with a line on stderr.
bool ParseAddedFile(const std::string& operand, const std::string& command, int method, arjhost::NewContent* out);

// What a rewriting command did with the archive, for its report.
struct RewriteOutcome {
  bool written = false;
  bool removed = false;  // the archive was emptied, and removed as arj d removes it
  std::string error;     // why not, when neither
};

// With --json: what the rewrite wrote (or would have), or why not.
void PrintRebuildJson(Session& session, const Args& args, const std::string& command,
                      const std::vector<arjhost::EntryInfo>& entries, const arjhost::ChangeSet& changes,
                      const std::string& destination, const RewriteOutcome& outcome);

// The line a signal prints once the change is made: the new archive, or
// the removal, stands.
// With `undone`, what the change leaves to do (add --move's removals),
// which such a signal stops: it is said too, and the exit code is 1.
void NoteTheChangeOnSignals(const std::string& command, const std::string& destination, const std::string& change,
                            const std::string& undone = "");

// Runs the rebuild of the archive whose `entries` these are, with the
// comments the command line asks for, and a progress line on a terminal; reports success on stdout (with --json:
// what was written, or why not), failure on stderr. Returns the exit code:
// a refusal (a new entry under one that is not a folder, ...) is
// kExitFailure with nothing written.
int RunRebuild(Session& session, const Args& args, const std::string& command,
               const std::vector<arjhost::EntryInfo>& entries, arjhost::ChangeSet changes,
               const std::string& destination);

}  // namespace cli
