#include "runtime/api/scratch_file.h"

#include "runtime/services/anonymous_file.h"

namespace arjhost {

int OpenScratchFile() { return arjrt::OpenAnonymousFile(); }

}  // namespace arjhost
