#include "tests/support/archive_builder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "plugin/common/crc32.h"

namespace testing_support {
namespace {

void Put16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

}  // namespace

Bytes BuildHeader(const HeaderSpec& spec) {
  Bytes basic;
  basic.push_back(spec.first_header_size);
  basic.push_back(spec.archiver_version);
  basic.push_back(spec.min_version);
  basic.push_back(spec.host_os);
  basic.push_back(spec.flags);
  basic.push_back(spec.method);
  basic.push_back(spec.file_type);
  basic.push_back(spec.garble_modifier);
  Put32(basic, spec.dos_time);
  uint32_t packed = spec.packed_override >= 0 ? static_cast<uint32_t>(spec.packed_override)
                    : spec.data.empty()       ? spec.packed_size
                                              : static_cast<uint32_t>(spec.data.size());
  Put32(basic, packed);
  Put32(basic, spec.original_size);
  Put32(basic, spec.file_crc);
  Put16(basic, 0);     // filespec position
  Put16(basic, 0x20);  // access mode
  basic.push_back(0);  // chapters
  basic.push_back(0);
  // Bytes of the fixed part beyond the 30 the format defines.
  while (basic.size() < spec.first_header_size) basic.push_back(0);
  basic.resize(spec.first_header_size);
  basic.insert(basic.end(), spec.name.begin(), spec.name.end());
  basic.push_back(0);
  basic.insert(basic.end(), spec.comment.begin(), spec.comment.end());
  basic.push_back(0);

  Bytes out;
  Put16(out, 0xEA60);
  Put16(out, spec.basic_size_override >= 0 ? static_cast<uint32_t>(spec.basic_size_override)
                                           : static_cast<uint32_t>(basic.size()));
  out.insert(out.end(), basic.begin(), basic.end());
  Put32(out, Crc32Update(basic.size(), basic.data(), 0));
  for (const Bytes& ext : spec.extended) {
    Put16(out, static_cast<uint32_t>(ext.size()));
    out.insert(out.end(), ext.begin(), ext.end());
    Put32(out, Crc32Update(ext.size(), ext.data(), 0));
  }
  Put16(out, 0);
  out.insert(out.end(), spec.data.begin(), spec.data.end());
  return out;
}

Bytes MainHeader(const std::string& name, uint8_t flags, const std::string& comment) {
  HeaderSpec spec;
  spec.name = name;
  spec.comment = comment;
  spec.flags = flags;
  spec.file_type = 2;
  return BuildHeader(spec);
}

HeaderSpec StoredEntry(const std::string& name, const std::string& content, uint8_t flags) {
  HeaderSpec spec;
  spec.name = name;
  spec.flags = flags;
  spec.data = ToBytes(content);
  spec.packed_size = static_cast<uint32_t>(content.size());
  spec.original_size = static_cast<uint32_t>(content.size());
  spec.file_crc = Crc32Update(content.size(), content.data(), 0);
  return spec;
}

Bytes EndMarker() { return {0x60, 0xEA, 0x00, 0x00}; }

Bytes Concat(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base ? base : "/tmp") + "/arjhost-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace testing_support

namespace testing_support {
uint32_t Crc32Of(const std::string& s) { return Crc32Update(s.size(), s.data(), 0); }
}  // namespace testing_support
