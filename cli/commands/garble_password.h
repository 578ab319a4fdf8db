// The password new entries are garbled with (create, add, replace), as
// arj -g garbles them. Garbling is no encryption: it keeps out only a
// casual reader.
#pragma once

#include <string>
#include <vector>

#include "cli/commands/session.h"
#include "cli/input/args.h"

namespace cli {

// Sets `password` ("" for none): -p's; with -g and no -p, one typed on the
// terminal (twice, the same, for an archive without garbled entries);
// for an archive that holds garbled entries, its own: -p's, or typed once
// on a terminal when there is one (with neither, new entries are written
// ungarbled, and RunRebuild says so). A password for an archive with
// garbled entries must open the first of them. False with a line on
// stderr: no terminal for -g, answers that differ, a wrong password.
bool GarblePassword(Session& s, const Args& args, const std::string& command,
                    const std::vector<arjhost::EntryInfo>& entries, std::string* password);

}  // namespace cli
