// The chain of host objects that extraction builds, for one stretch of
// packed data: window -> [garble] -> stream -> decoder -> stream -> temp I/O.
#pragma once

#include <cstdint>
#include <optional>

#include "plugin/host/host_objects.h"
#include "tests/support/bytes.h"

namespace testing_support {

struct ChainInput {
  ObjectRef archive = nullptr;  // the I/O holding the packed data
  uint64_t data_offset = 0;
  uint64_t packed_size = 0;
  uint32_t method = 0;
  uint64_t unpacked_size = 0;
  std::optional<Bytes> key;  // a garble key, used at its full length
  uint64_t temp_memory_limit = uint64_t{8} << 20;
};

struct ChainOutput {
  ResultCode result = RESULT_OK;  // of CreateObjectDone of the codec, else of Process
  uint64_t count = 0;             // what Process reported
  uint32_t crc = 0;               // PROP_CODEC_OUTPUT_CRC
  Bytes bytes;                    // the temp I/O's content, read before the output stream closed
};

// Builds the chain under `parent`, runs the decoder once and closes every
// object it made.
ChainOutput DecodeThroughObjects(ObjectRef parent, const ChainInput& in);

// The key ARJ garbles an entry with: each password byte plus the entry's
// modifier, every byte kept (a zero too).
Bytes GarbleKey(const std::string& password, uint8_t modifier);

}  // namespace testing_support
