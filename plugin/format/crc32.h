// CRC-32 of the ARJ format (IEEE 802.3, reflected polynomial 0xEDB88320).
#pragma once

#include <cstddef>
#include <cstdint>

// Continues `previous` (the CRC of the bytes before `buffer`, 0 to start)
// over `length` bytes. Consecutive calls chain to the CRC of the whole.
uint32_t Crc32Update(size_t length, const void* buffer, uint32_t previous);
