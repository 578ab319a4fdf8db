// Byte source and sink that the codecs read from and write to. The runtime's
// codec objects adapt host streams to these; tests adapt memory buffers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin/host/host_types.h"

namespace arjrt {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `size` bytes into `buffer`. Returns the count read (0 only at
  // the end of the input) or a negative ResultCode.
  virtual int64_t Read(uint8_t* buffer, size_t size) = 0;
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all `size` bytes. Returns 0 or a negative ResultCode.
  [[nodiscard]] virtual ResultCode Write(const uint8_t* data, size_t size) = 0;
};

}  // namespace arjrt
