#include "tests/support/rebuild_harness.h"

#include "runtime/services/services.h"
#include "tests/support/io_objects.h"

namespace testing_support {

ResultCode RebuildInto(ArchiverFixture& f, ObjectRef list, Bytes* out) {
  ObjectRef dest = nullptr;
  EXPECT_EQ(host::CreateObjectQuick(f.archiver(), &dest, IID_BLOCK_IO, PID_MEMORY_IO), RESULT_OK);
  ResultCode r = host::Archiver(f.archiver()).Rebuild(f.archiver(), list, dest);
  *out = ReadAll(dest);
  host::CloseIfOpen(dest);
  return r;
}

ObjectRef NewChangeList(TestHost& host) {
  ObjectRef list = nullptr;
  EXPECT_EQ(host::CreateObjectQuick(host.root(), &list, IID_CHANGE_LIST_2, arjrt::PID_CHANGE_LIST), RESULT_OK);
  return list;
}

arjrt::ContentOpener Hand(ObjectRef io) {
  return [io](ObjectRef, ObjectRef* out) {
    *out = io;
    return RESULT_OK;
  };
}

}  // namespace testing_support
