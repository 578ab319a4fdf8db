#include "runtime/api/version.h"

namespace arjhost {

const char* Version() { return ARJHOST_VERSION; }

}  // namespace arjhost
