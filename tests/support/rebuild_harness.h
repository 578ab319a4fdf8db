// Running the plug-in's Rebuild in tests: a change list from the runtime
// and a destination in memory to read back.
#pragma once

#include "runtime/services/change_list.h"
#include "tests/support/archiver_fixture.h"
#include "tests/support/bytes.h"
#include "tests/support/test_host.h"

namespace testing_support {

// Rebuilds the fixture's archive through `list` into a fresh memory I/O;
// returns the result and leaves the bytes in *out.
[[nodiscard]] ResultCode RebuildInto(ArchiverFixture& f, ObjectRef list, Bytes* out);

// A list object from the runtime's ChangeList service.
ObjectRef NewChangeList(TestHost& host);

// A content opener that hands the list the ready object `io`.
arjrt::ContentOpener Hand(ObjectRef io);

}  // namespace testing_support
