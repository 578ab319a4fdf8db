// Builds ARJ archive bytes field by field, so that tests can make both
// sound archives and every kind of damaged one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/format/arj_layout.h"
#include "tests/support/bytes.h"

namespace testing_support {

struct HeaderSpec {
  std::string name = "file.txt";
  std::string comment;
  uint8_t first_header_size = 30;
  uint8_t archiver_version = 11;
  uint8_t min_version = 1;
  uint8_t host_os = 0;
  uint8_t flags = 0;
  uint8_t method = 0;
  uint8_t file_type = 0;  // 2 for a main header
  uint8_t garble_modifier = 0;
  uint32_t dos_time = 0x5A8C6000;
  uint32_t packed_size = 0;    // with `data`: its size, unless `packed_override`
  uint32_t original_size = 0;
  uint32_t file_crc = 0;
  uint16_t access_mode = 0x20;  // DOS attributes (archive bit), or a UNIX mode with host_os 2
  uint8_t first_chapter = 0;    // of a chapter archive (a main header: 0 and its latest chapter)
  uint8_t last_chapter = 0;
  std::vector<Bytes> extended;  // extended headers, each written with its own CRC
  int64_t basic_size_override = -1;
  int64_t packed_override = -1;
  Bytes data;                   // the packed data that follows a local header
};

// One main or local header with its header CRC and extended headers, then
// (for a local header) its packed data.
Bytes BuildHeader(const HeaderSpec& fields);
Bytes MainHeader(const std::string& name = "test.arj", uint8_t flags = 0, const std::string& comment = "");
// A stored (method 0) entry holding `content`.
HeaderSpec StoredEntry(const std::string& name, const std::string& content, uint8_t flags = 0);
// An entry holding `packed`, the data of `original` packed with `method`.
HeaderSpec PackedEntry(const std::string& name, uint8_t method, const Bytes& original, const Bytes& packed);
Bytes EndMarker();

}  // namespace testing_support
