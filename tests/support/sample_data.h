// Deterministic file contents for tests and benchmarks. The checked-in
// archives under tests/codecs/decode/data were made from CheckedInSamples()
// (see make_data.sh), so those generators must never change their output;
// the encoder's size comparisons with arj and the benchmark figures are
// measured on TextLike, BinaryLike and MixedData.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

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

// Sentences over a small vocabulary with capitals, punctuation and line
// breaks.
std::vector<uint8_t> TextLike(size_t size, uint32_t seed);
// Lines of words drawn from twenty of seven to ten letters, no punctuation:
// what repeats is the pairs of words, farther apart than single words.
std::vector<uint8_t> FewWords(size_t size, uint32_t seed);
// Records of slowly changing little-endian numbers, tags and padding, like
// the tables of an executable.
std::vector<uint8_t> BinaryLike(size_t size, uint32_t seed);
// Text-like, binary-like and random pieces of varying length, interleaved.
std::vector<uint8_t> MixedData(size_t size, uint32_t seed);

struct SampleFile {
  std::string name;
  std::vector<uint8_t> bytes;
};

// The files inside the checked-in archives sample-mN.arj.
std::vector<SampleFile> CheckedInSamples();

// Writes `files` into the folder `dir` (which must exist). False on failure.
bool WriteSampleFiles(const std::string& dir, const std::vector<SampleFile>& files);

}  // namespace testing_support
