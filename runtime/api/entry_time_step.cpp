#include "plugin/format/arj_time.h"
#include "runtime/api/archive.h"

namespace arjhost {

int TimeStepOf(const EntryInfo& entry) { return StoresUnixTime(entry.host_os) ? 1 : 2; }

}  // namespace arjhost
