// Deterministic file contents for the decoder tests: the checked-in
// archives under data/ were made from exactly these (see make_data.sh),
// and the live peer tests archive them afresh.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace arjrt::test {

// English-like words and punctuation.
std::vector<uint8_t> TextSample(size_t size, uint32_t seed);
// Random bytes mixed with copies of earlier stretches at all distances:
// compressible, but not trivially.
std::vector<uint8_t> PatternSample(size_t size, uint32_t seed);
// Uniform random bytes: does not compress.
std::vector<uint8_t> RandomSample(size_t size, uint32_t seed);
// A short phrase over and over.
std::vector<uint8_t> RepetitiveSample(size_t size);
std::vector<uint8_t> ZeroSample(size_t size);
// Stretches of all of the above, like a folder of assorted files.
std::vector<uint8_t> MixedSample(size_t size, uint32_t seed);

struct SampleFile {
  std::string name;
  std::vector<uint8_t> bytes;
};

// The files inside the checked-in archives data/sample-mN.arj.
std::vector<SampleFile> CheckedInSamples();

// Writes `files` into the folder `dir` (which must exist). False on failure.
bool WriteSampleFiles(const std::string& dir, const std::vector<SampleFile>& files);

}  // namespace arjrt::test
