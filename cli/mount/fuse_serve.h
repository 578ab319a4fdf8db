// Serving a mount's tree through FUSE (libfuse 3), read-only; built only
// where libfuse 3 is found.
#pragma once

#include <functional>
#include <string>

#include "cli/mount/entry_cache.h"
#include "cli/mount/mount_tree.h"

namespace cli {

// Whether this build can mount at all.
bool MountSupported();

struct MountService {
  const MountTree* tree = nullptr;
  EntryCache* cache = nullptr;
  std::string mount_point;
  std::string source;    // the archive's path: the file system's name in mount tables
  bool foreground = false;
  // The exit code once the mount is ready, and after a clean unmount: 1
  // when the archive is damaged or incomplete, or entries are left out.
  int ready_code = 0;
  // Called once the mount is in place and (unless foreground) the process
  // has left its caller: where its messages go from then on.
  std::function<void()> detached;
};

// Mounts, and serves until unmounted (fusermount3 -u) or, in the
// foreground, until SIGINT, SIGTERM or SIGHUP: the exit code. Without
// `foreground` a child process mounts and serves, and the caller gets the
// exit code once the mount is ready. Fails (2), with a line on stderr,
// when the mount point cannot be mounted on.
int ServeMount(const MountService& service);

}  // namespace cli
