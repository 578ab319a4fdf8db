// What SIGINT, SIGTERM and SIGHUP do to a running command: remove the
// files it had under way (a new archive's temporary file, a `.part` file)
// and exit with 128 + the signal's number, as a shell reports it.
#pragma once

namespace cli {

void RemovePendingFilesOnSignals();

}  // namespace cli
