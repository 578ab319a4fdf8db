// The library's version. The build reads it from here (CMakeLists.txt).
#pragma once

#include "runtime/api/export.h"

#define ARJHOST_VERSION_MAJOR 1
#define ARJHOST_VERSION_MINOR 1
#define ARJHOST_VERSION_PATCH 0

#define ARJHOST_VERSION_TEXT_(major, minor, patch) #major "." #minor "." #patch
#define ARJHOST_VERSION_TEXT(major, minor, patch) ARJHOST_VERSION_TEXT_(major, minor, patch)
// "1.1.0": the version a program was built against.
#define ARJHOST_VERSION ARJHOST_VERSION_TEXT(ARJHOST_VERSION_MAJOR, ARJHOST_VERSION_MINOR, ARJHOST_VERSION_PATCH)

namespace arjhost {

// The version of the library the program runs with, which may be a later
// one than the ARJHOST_VERSION it was built against.
ARJHOST_API const char* Version();

}  // namespace arjhost
