// Reads just enough of an ARJ archive to get at each entry's packed data.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace arjrt::test {

struct ArjEntry {
  std::string name;
  uint32_t method = 0;
  uint32_t original_size = 0;
  uint32_t crc = 0;
  uint8_t flags = 0;
  uint8_t garble_modifier = 0;
  size_t data_offset = 0;  // where `packed` lies in the archive
  std::vector<uint8_t> packed;
};

// Entries of a whole archive image, or nothing when its headers do not parse.
std::optional<std::vector<ArjEntry>> ReadArjEntries(const std::vector<uint8_t>& archive);

std::optional<std::vector<uint8_t>> ReadFileBytes(const std::string& path);

}  // namespace arjrt::test
