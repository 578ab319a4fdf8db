// What the JSON output of list, test and extract shares: the archive and
// its state.
#pragma once

#include "cli/commands/session.h"
#include "cli/input/args.h"
#include "cli/output/json_writer.h"

namespace cli {

// The members "archive", "digest", "multi_volume", "damaged",
// "incomplete", "volumes", "unreadable_volumes" (name and cause of a volume
// that is there but cannot be read) and "skipped" (offset, size, cause of
// every range --recover skipped) of the object being written.
// "damaged" is `damaged`: arjhost::ArchiveDamaged of all the entries.
void WriteArchiveState(JsonWriter& json, const Session& session, bool damaged, const Args& args);

}  // namespace cli
