// A volume set put in place by several renames, made whole again after a
// crash between them. Before the first rename, a record of every rename
// and removal the commit makes is put on disk beside the first volume
// (NAME.arj.arjhost-commit); the commit is then made, and the record
// removed. Whoever opens the set next (a writer, a reader) and finds a
// record completes the commit it names, whose new volumes were on disk
// before the record was: the set is the old one until the record stands,
// the new one from then on. arj, which knows no record, sees a mix of old
// and new volumes only while a commit is cut short and not yet completed.
#pragma once

#include <string>
#include <vector>

#include "runtime/api/status.h"

namespace arjhost {

struct SetPlacement {
  std::string temporary;  // a file beside the first volume, already on disk
  std::string volume;     // the volume's path, which it becomes
  bool replaces = false;  // false: no file may stand at `volume` (a new name)
};

struct SetCommit {
  std::string first;                     // the first volume's path
  std::vector<SetPlacement> placements;  // the new volumes
  std::vector<std::string> removals;     // old volumes past the new set's last
};

// Makes the commit: the record, the renames (new names first, so that a
// file that appeared at one fails the commit before anything is replaced),
// the removals, then the record removed; each step put on disk. *stands
// tells whether the new set stands (or will, once the next open completes
// what a failure left): the temporaries are then its volumes, never to be
// removed. A failure that leaves it false has changed nothing.
Status CommitSet(const SetCommit& commit, bool* stands);

// Completes an interrupted commit of the set that `path` (any volume, or a
// link to one) belongs to, when a record names one: ok when there is none.
// It takes the set's writer lock unless this process holds it, waiting a
// few seconds for a writer in its own commit. kRefused for a record that
// is not one of ours or names files outside the set, kIoError when the
// renames cannot be made (a folder without write access).
Status FinishInterruptedCommit(const std::string& path);

}  // namespace arjhost
