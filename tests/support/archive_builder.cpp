#include "tests/support/archive_builder.h"

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

Bytes BuildHeader(const HeaderSpec& fields) {
  Bytes basic;
  basic.push_back(fields.first_header_size);
  basic.push_back(fields.archiver_version);
  basic.push_back(fields.min_version);
  basic.push_back(fields.host_os);
  basic.push_back(fields.flags);
  basic.push_back(fields.method);
  basic.push_back(fields.file_type);
  basic.push_back(fields.garble_modifier);
  Put32(basic, fields.dos_time);
  uint32_t packed = fields.packed_override >= 0 ? static_cast<uint32_t>(fields.packed_override)
                    : fields.data.empty()       ? fields.packed_size
                                              : static_cast<uint32_t>(fields.data.size());
  Put32(basic, packed);
  Put32(basic, fields.original_size);
  Put32(basic, fields.file_crc);
  Put16(basic, 0);     // filespec position
  Put16(basic, fields.access_mode);
  basic.push_back(fields.first_chapter);
  basic.push_back(fields.last_chapter);
  // Bytes of the fixed part beyond the 30 the format defines.
  while (basic.size() < fields.first_header_size) basic.push_back(0);
  basic.resize(fields.first_header_size);
  basic.insert(basic.end(), fields.name.begin(), fields.name.end());
  basic.push_back(0);
  basic.insert(basic.end(), fields.comment.begin(), fields.comment.end());
  basic.push_back(0);

  Bytes out;
  Put16(out, 0xEA60);
  Put16(out, fields.basic_size_override >= 0 ? static_cast<uint32_t>(fields.basic_size_override)
                                           : static_cast<uint32_t>(basic.size()));
  out.insert(out.end(), basic.begin(), basic.end());
  Put32(out, Crc32Update(basic.size(), basic.data(), 0));
  for (const Bytes& ext : fields.extended) {
    Put16(out, static_cast<uint32_t>(ext.size()));
    out.insert(out.end(), ext.begin(), ext.end());
    Put32(out, Crc32Update(ext.size(), ext.data(), 0));
  }
  Put16(out, 0);
  out.insert(out.end(), fields.data.begin(), fields.data.end());
  return out;
}

Bytes MainHeader(const std::string& name, uint8_t flags, const std::string& comment) {
  HeaderSpec fields;
  fields.name = name;
  fields.comment = comment;
  fields.flags = flags;
  fields.file_type = 2;
  return BuildHeader(fields);
}

HeaderSpec StoredEntry(const std::string& name, const std::string& content, uint8_t flags) {
  HeaderSpec fields = PackedEntry(name, 0, ToBytes(content), ToBytes(content));
  fields.flags = flags;
  return fields;
}

HeaderSpec PackedEntry(const std::string& name, uint8_t method, const Bytes& original, const Bytes& packed) {
  HeaderSpec fields;
  fields.name = name;
  fields.method = method;
  fields.data = packed;
  fields.packed_size = static_cast<uint32_t>(packed.size());
  fields.original_size = static_cast<uint32_t>(original.size());
  fields.file_crc = Crc32Of(original);
  return fields;
}

Bytes EndMarker() { return {0x60, 0xEA, 0x00, 0x00}; }

}  // namespace testing_support
