#include "tests/support/io_objects.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "runtime/services/content_file_io.h"
#include "tests/support/files.h"

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

ObjectRef MemoryContent(ObjectRef parent, const Bytes& data, const std::string& name) {
  ObjectRef io = nullptr;
  EXPECT_EQ(host::CreateObjectQuick(parent, &io, IID_BLOCK_IO, PID_MEMORY_IO), RESULT_OK);
  if (io == nullptr) return io;
  if (!data.empty()) {
    EXPECT_EQ(host::Io(io).SeekWrite(io, nullptr, 0, data.data(), static_cast<uint32_t>(data.size())), RESULT_OK);
  }
  if (!name.empty()) {
    EXPECT_EQ(host::SetPropBuffer(io, PROP_OBJECT_NAME, name.c_str(), static_cast<uint32_t>(name.size() + 1)),
              RESULT_OK);
  }
  return io;
}

ObjectRef FileContent(ObjectRef parent, const std::string& path, const Bytes& data, const std::string& name,
                      int method) {
  WriteFile(path, data);
  ObjectRef io = nullptr;
  EXPECT_EQ(host::CreateObject(parent, &io, IID_BLOCK_IO, arjrt::PID_CONTENT_FILE_IO), RESULT_OK);
  EXPECT_EQ(host::SetPropBuffer(io, PROP_OBJECT_PATH, path.c_str(), static_cast<uint32_t>(path.size() + 1)), RESULT_OK);
  if (!name.empty()) {
    EXPECT_EQ(host::SetPropBuffer(io, PROP_OBJECT_NAME, name.c_str(), static_cast<uint32_t>(name.size() + 1)),
              RESULT_OK);
  }
  if (method >= 0) {
    EXPECT_EQ(host::SetPropDWord(io, PROP_ENTRY_METHOD, static_cast<uint32_t>(method)), RESULT_OK);
  }
  EXPECT_EQ(host::CreateObjectDone(io), RESULT_OK);
  return io;
}

ResultCode OpenNativeFile(ObjectRef parent, ObjectRef* io, const std::string& path, uint32_t access, uint32_t open) {
  ResultCode result = host::CreateObject(parent, io, IID_BLOCK_IO, PID_NATIVE_FILE_IO);
  if (Failed(result)) return result;
  result = host::SetPropBuffer(*io, PROP_OBJECT_PATH, path.data(), static_cast<uint32_t>(path.size()));
  if (!Failed(result)) result = host::SetPropDWord(*io, PROP_ACCESS_MODE, access);
  if (!Failed(result)) result = host::SetPropDWord(*io, PROP_OPEN_MODE, open);
  if (!Failed(result)) result = host::CreateObjectDone(*io);
  if (Failed(result)) host::CloseIfOpen(*io);
  return result;
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

ObjectRef MakeText(ObjectRef parent, const std::string& utf8) {
  ObjectRef text = nullptr;
  EXPECT_EQ(host::CreateObjectQuick(parent, &text, IID_TEXT, 0), RESULT_OK);
  if (text != nullptr) {
    EXPECT_EQ(host::Text(text).SetFromBuffer(text, 0, utf8.data(), static_cast<uint32_t>(utf8.size()), CP_UTF8, 0),
              RESULT_OK);
  }
  return text;
}

std::string StringProperty(ObjectRef object, PropId id) {
  uint32_t length = 0;
  if (Failed(object->system->GetPropString(object, &length, id, nullptr, 0, CP_HOST_PATHS)) || length == 0)
    return "<unavailable>";
  std::string value(length, '\0');
  if (Failed(object->system->GetPropString(object, &length, id, value.data(), length, CP_HOST_PATHS)))
    return "<unavailable>";
  value.resize(length - 1);
  return value;
}

}  // namespace testing_support
