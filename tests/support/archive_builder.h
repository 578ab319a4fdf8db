// Builds ARJ archive bytes field by field, so that tests can make both
// sound archives and every kind of damaged one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

using Bytes = std::vector<uint8_t>;

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
Bytes EndMarker();
Bytes Concat(const std::vector<Bytes>& parts);
Bytes ToBytes(const std::string& s);
uint32_t Crc32Of(const std::string& s);

void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);

// A fresh temporary directory, removed with its contents on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace testing_support
