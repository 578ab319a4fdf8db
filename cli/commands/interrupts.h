// What SIGINT, SIGTERM and SIGHUP do to a running command: remove the
// files it had under way (a new archive's temporary file, a `.part` file)
// and exit with 128 + the signal's number, as a shell reports it. Once the
// command's change is made (arjhost::ChangeMade) there is nothing to
// undo: the notice given for that case is printed and the exit code is 0.
#pragma once

#include <string>

namespace cli {

void RemovePendingFilesOnSignals();

// The line a signal prints once the change is made (cut to 1 KiB).
void SetNoticeOnceChanged(const std::string& line);

}  // namespace cli
