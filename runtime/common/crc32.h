// CRC-32 as ARJ stores it (IEEE 802.3: reflected polynomial 0xEDB88320,
// preset and final inversion).
#pragma once

#include <cstddef>
#include <cstdint>

namespace arjrt {

// CRC of `length` bytes continuing `previous`, the CRC of everything before
// them (0 for a fresh start): Crc32(b, nb, Crc32(a, na)) == CRC of a then b.
uint32_t Crc32(const void* data, size_t length, uint32_t previous = 0);

// The CRC of a then b from the CRC of each and the length of b, without
// the bytes: what a file split into parts has, from its parts' CRCs.
uint32_t Crc32Combine(uint32_t crc_a, uint32_t crc_b, uint64_t length_b);

// Exposed so tests can check both paths on any machine.
namespace crc32_detail {
// The portable slicing-by-16 path, which Crc32 uses for short inputs and on
// processors without carry-less multiplication.
uint32_t Crc32Tables(const void* data, size_t length, uint32_t previous = 0);
// Whether Crc32 folds long inputs with carry-less multiplication here.
bool UsesClmul();
}  // namespace crc32_detail

}  // namespace arjrt
