#include "tests/support/io_objects.h"

#include <gtest/gtest.h>

#include "runtime/services/services.h"
#include "tests/support/test_host.h"

namespace testing_support {

ObjectRef MemoryView(ObjectRef parent, const Bytes& bytes) {
  ObjectRef io = nullptr;
  EXPECT_EQ(host::CreateObject(parent, &io, IID_BLOCK_IO, PID_MEMORY_IO), RESULT_OK);
  // A view needs an address even for no bytes.
  static const uint8_t kNothing = 0;
  const uint8_t* data = bytes.empty() ? &kNothing : bytes.data();
  EXPECT_EQ(host::SetPropQWord(io, arjrt::PROP_MEMORY_VIEW_ADDRESS, reinterpret_cast<uintptr_t>(data)), RESULT_OK);
  EXPECT_EQ(host::SetPropQWord(io, arjrt::PROP_MEMORY_VIEW_SIZE, bytes.size()), RESULT_OK);
  EXPECT_EQ(host::CreateObjectDone(io), RESULT_OK);
  return io;
}

ObjectRef Window(ObjectRef parent, ObjectRef base, uint64_t offset, uint64_t size) {
  ObjectRef window = nullptr;
  EXPECT_EQ(host::CreateObject(parent, &window, IID_BLOCK_IO, PID_WINDOW_IO), RESULT_OK);
  EXPECT_EQ(host::SetPropQWord(window, PROP_WINDOW_OFFSET, offset), RESULT_OK);
  EXPECT_EQ(host::SetPropQWord(window, PROP_WINDOW_SIZE, size), RESULT_OK);
  EXPECT_EQ(host::SetPropObject(window, PROP_WINDOW_BASE, base), RESULT_OK);
  EXPECT_EQ(host::CreateObjectDone(window), RESULT_OK);
  return window;
}

ObjectRef TempIo(ObjectRef parent, uint64_t memory_limit) {
  ObjectRef temp = nullptr;
  EXPECT_EQ(host::CreateObject(parent, &temp, IID_BLOCK_IO, PID_TEMP_IO), RESULT_OK);
  EXPECT_EQ(host::SetPropQWord(temp, arjrt::PROP_TEMP_MEMORY_LIMIT, memory_limit), RESULT_OK);
  EXPECT_EQ(host::CreateObjectDone(temp), RESULT_OK);
  return temp;
}

Bytes ReadAll(ObjectRef io) {
  uint64_t size = 0;
  EXPECT_EQ(host::Io(io).GetSize(io, &size, 0), RESULT_OK);
  Bytes out;
  constexpr uint32_t kChunk = 64 * 1024;
  while (out.size() < size) {
    const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kChunk, size - out.size()));
    const size_t at = out.size();
    out.resize(at + n);
    uint32_t got = 0;
    IgnoreResult(host::Io(io).SeekRead(io, &got, at, out.data() + at, n));  // the count tells: a short read ends it
    out.resize(at + std::min(got, n));
    if (got < n) break;
  }
  return out;
}

Bytes SourceFile(const std::string& relative_to_tests_data) {
  return ReadFile(SourcePath("tests/data/" + relative_to_tests_data));
}

}  // namespace testing_support
