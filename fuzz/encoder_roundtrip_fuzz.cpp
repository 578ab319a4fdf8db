// Encodes the fuzz input with method (first byte % 5) and, where the
// decoder is part of the build, decodes it back and compares.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "runtime/codecs/encode/arj_encoder.h"
#include "tests/support/memory_streams.h"

#if __has_include("runtime/codecs/decode/arj_decoder.h")
#include "runtime/codecs/decode/arj_decoder.h"
#define ARJ_FUZZ_ROUND_TRIP 1
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint32_t method = data[0] % 5;
  // The rest of the first byte picks how finely the source splits its reads.
  const size_t read_chunk = data[0] / 5 == 0 ? SIZE_MAX : data[0] / 5;
  const std::vector<uint8_t> input(data + 1, data + size);

  testing_support::MemorySource source(input, read_chunk);
  testing_support::MemorySink packed;
  uint64_t written = 0, read = 0;
  if (arjrt::EncodeArjData(method, source, packed, &written, &read) != RESULT_OK) std::abort();
  if (written != packed.bytes.size() || read != input.size()) std::abort();

#ifdef ARJ_FUZZ_ROUND_TRIP
  testing_support::MemorySource packed_source(packed.bytes);
  testing_support::MemorySink restored;
  uint64_t restored_size = 0;
  if (arjrt::DecodeArjData(method, packed_source, restored, input.size(), &restored_size) != RESULT_OK) {
    std::abort();
  }
  if (restored.bytes != input) std::abort();
#endif
  return 0;
}
