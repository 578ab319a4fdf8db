// CRC-32 of the ARJ format (IEEE 802.3, reflected polynomial 0xEDB88320,
// preset and final inversion): the one implementation the plug-in and the
// runtime both use.
#pragma once

#include <cstddef>
#include <cstdint>

namespace arjhost::format {

// Continues `previous` (the CRC of the bytes before `buffer`, 0 to start)
// over `length` bytes. Consecutive calls chain to the CRC of the whole.
uint32_t Crc32Update(size_t length, const void* buffer, uint32_t previous);

// Exposed so tests can check both paths on any machine.
namespace crc32_detail {
// The portable slicing-by-16 path, which Crc32Update takes for short inputs
// and on processors without carry-less multiplication.
uint32_t Crc32Tables(size_t length, const void* buffer, uint32_t previous);
// Whether Crc32Update folds long inputs with carry-less multiplication here.
bool UsesClmul();
}  // namespace crc32_detail

}  // namespace arjhost::format
