// Little-endian loads and stores from unaligned byte buffers. memcpy lets the
// compiler emit one plain load on little-endian targets.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace arjrt {

constexpr uint32_t ByteSwap32(uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

inline uint32_t LoadLittle32(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, sizeof value);
  if constexpr (std::endian::native == std::endian::big) value = ByteSwap32(value);
  return value;
}

inline void StoreLittle32(uint32_t value, uint8_t* p) {
  if constexpr (std::endian::native == std::endian::big) value = ByteSwap32(value);
  std::memcpy(p, &value, sizeof value);
}

}  // namespace arjrt
