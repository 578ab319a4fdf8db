// Wraps packed data in a minimal one-entry ARJ archive so the peer
// archivers can test and extract what the encoder wrote.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace arjtest {

struct EntryInfo {
  std::string name;
  uint8_t method = 0;
  uint32_t original_size = 0;
  uint32_t crc32 = 0;
  uint32_t dos_time = 0x5A210000;  // 2025-01-01 00:00:00
};

std::vector<uint8_t> SingleEntryArchive(const EntryInfo& entry, const std::vector<uint8_t>& packed);

}  // namespace arjtest
