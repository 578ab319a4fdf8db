// Encodes a memory buffer with EncodeArjData, for tests and tools.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/codecs/encode/arj_encoder.h"
#include "tests/codecs/encode/memory_streams.h"

namespace arjtest {

struct Encoded {
  ResultCode result = RESULT_OK;
  std::vector<uint8_t> packed;
  uint64_t packed_written = 0;
  uint64_t unpacked_read = 0;
};

inline Encoded EncodeBytes(uint32_t method, const std::vector<uint8_t>& data, size_t read_chunk = SIZE_MAX) {
  MemorySource source(data, read_chunk);
  MemorySink sink;
  Encoded e;
  e.result = arjrt::EncodeArjData(method, source, sink, &e.packed_written, &e.unpacked_read);
  e.packed = std::move(sink.bytes);
  return e;
}

}  // namespace arjtest
