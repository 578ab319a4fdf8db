// Deterministic generated inputs for the encoder's tests and benchmark.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace arjtest {

// Sentences over a small vocabulary with punctuation and line breaks.
std::vector<uint8_t> TextLike(size_t size, uint32_t seed);
// Records of slowly changing little-endian numbers, tags and padding, like
// the tables of an executable.
std::vector<uint8_t> BinaryLike(size_t size, uint32_t seed);
std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed);
// Text-like, binary-like and random pieces of varying length, interleaved.
std::vector<uint8_t> MixedData(size_t size, uint32_t seed);

}  // namespace arjtest
