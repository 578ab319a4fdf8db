// Reads ARJ archive bytes without the plug-in: what the peers or our writers
// produced, header by header. Every read is checked, so that damaged and
// partial archives parse as far as they go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/bytes.h"

namespace testing_support {

struct ParsedEntry {
  size_t offset = 0;  // of the header id
  Bytes fixed = Bytes(34);  // the first 34 bytes: id, basic size and the fixed part
  std::string name;
  uint8_t first_header_size = 0;
  uint16_t basic_size = 0;
  bool header_crc_ok = false;
  size_t extended_headers = 0;
  size_t data_offset = 0;  // where `packed` lies in the archive
  Bytes packed;

  uint8_t flags() const { return fixed[8]; }
  uint8_t method() const { return fixed[9]; }
  uint8_t file_type() const { return fixed[10]; }
  uint8_t garble_modifier() const { return fixed[11]; }
  uint32_t Field32(size_t at) const {
    return fixed[at] | fixed[at + 1] << 8 | fixed[at + 2] << 16 | uint32_t{fixed[at + 3]} << 24;
  }
  uint32_t original_size() const { return Field32(20); }
  uint32_t crc() const { return Field32(24); }
};

struct ParsedArchive {
  size_t main_header_length = 0;  // 0: no main header
  std::vector<ParsedEntry> entries;
  bool ended = false;  // the end marker closes it, with nothing after
};

ParsedArchive ParseArchive(const Bytes& archive);

}  // namespace testing_support
