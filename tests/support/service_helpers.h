// Helpers for tests of the runtime's services: whole-file text reads and
// writes, and the creation of I/O and text objects.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "plugin/host/host_objects.h"
#include "runtime/services/services.h"
#include "tests/support/archive_builder.h"

namespace testing_support {

inline void WriteText(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Opens a native file I/O under `parent`; *io is null when it fails.
inline ResultCode OpenNativeFile(ObjectRef parent, ObjectRef* io, const std::string& path,
                                 uint32_t access = ACCESS_READ, uint32_t open = OPEN_EXISTING) {
  ResultCode result = host::CreateObject(parent, io, IID_BLOCK_IO, PID_NATIVE_FILE_IO);
  if (Failed(result)) return result;
  result = host::SetPropBuffer(*io, PROP_OBJECT_PATH, path.data(), static_cast<uint32_t>(path.size()));
  if (!Failed(result)) result = host::SetPropDWord(*io, PROP_ACCESS_MODE, access);
  if (!Failed(result)) result = host::SetPropDWord(*io, PROP_OPEN_MODE, open);
  if (!Failed(result)) result = host::CreateObjectDone(*io);
  if (Failed(result)) host::CloseIfOpen(*io);
  return result;
}

// A memory I/O that owns its bytes, filled with `bytes`.
inline ObjectRef MakeMemoryIo(ObjectRef parent, const std::string& bytes = "") {
  ObjectRef io = nullptr;
  EXPECT_EQ(host::CreateObjectQuick(parent, &io, IID_BLOCK_IO, PID_MEMORY_IO), RESULT_OK);
  if (io != nullptr && !bytes.empty()) {
    EXPECT_EQ(host::Io(io).SeekWrite(io, nullptr, 0, bytes.data(), static_cast<uint32_t>(bytes.size())), RESULT_OK);
  }
  return io;
}

inline ObjectRef MakeText(ObjectRef parent, const std::string& utf8) {
  ObjectRef text = nullptr;
  EXPECT_EQ(host::CreateObjectQuick(parent, &text, IID_TEXT, 0), RESULT_OK);
  if (text != nullptr) {
    EXPECT_EQ(host::Text(text).SetFromBuffer(text, 0, utf8.data(), static_cast<uint32_t>(utf8.size()), CP_UTF8, 0),
              RESULT_OK);
  }
  return text;
}

// A string property read whole, through the size query first.
inline std::string StringProperty(ObjectRef object, PropId id) {
  uint32_t length = 0;
  if (Failed(object->system->GetPropString(object, &length, id, nullptr, 0, CP_HOST_PATHS)) || length == 0)
    return "<unavailable>";
  std::string value(length, '\0');
  if (Failed(object->system->GetPropString(object, &length, id, value.data(), length, CP_HOST_PATHS)))
    return "<unavailable>";
  value.resize(length - 1);
  return value;
}

// Deterministic, non-repeating-looking bytes.
inline std::string PatternBytes(size_t n, uint32_t seed = 1) {
  std::string bytes(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(x >> 16);
  }
  return bytes;
}

}  // namespace testing_support
