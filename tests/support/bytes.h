// Byte strings as the tests build and compare them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/format/crc32.h"

namespace testing_support {

// The tests build and read archives by the format module's names.
using namespace arjhost::format;

using Bytes = std::vector<uint8_t>;

inline Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

inline Bytes Concat(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline uint32_t Crc32Of(const Bytes& b) { return Crc32Update(b.size(), b.data(), 0); }
inline uint32_t Crc32Of(const std::string& s) { return Crc32Update(s.size(), s.data(), 0); }

}  // namespace testing_support
