// The mount of a build made without libfuse 3.
#include "cli/mount/fuse_serve.h"

namespace cli {

bool MountSupported() { return false; }

int ServeMount(const MountService&) { return 2; }

}  // namespace cli
