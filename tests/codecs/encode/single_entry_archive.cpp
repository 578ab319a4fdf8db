#include "tests/codecs/encode/single_entry_archive.h"

#include "plugin/format/crc32.h"

namespace arjtest {

namespace {

constexpr uint8_t kFirstHeaderSize = 30;
constexpr uint8_t kArchiverVersion = 11;
constexpr uint8_t kMinVersion = 1;
constexpr uint8_t kHostMsDos = 0;
constexpr uint8_t kTypeBinary = 0;
constexpr uint8_t kTypeMainHeader = 2;
constexpr uint16_t kDosArchiveAttribute = 0x20;

void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

// Header id, basic header size, basic header, its CRC, no extended headers.
void AppendHeader(std::vector<uint8_t>& out, const std::vector<uint8_t>& basic) {
  out.push_back(0x60);
  out.push_back(0xEA);
  Put16(out, static_cast<uint32_t>(basic.size()));
  out.insert(out.end(), basic.begin(), basic.end());
  Put32(out, Crc32Update(basic.size(), basic.data(), 0));
  Put16(out, 0);
}

void AppendNameAndComment(std::vector<uint8_t>& basic, const std::string& name) {
  basic.insert(basic.end(), name.begin(), name.end());
  basic.push_back(0);
  basic.push_back(0);  // empty comment
}

}  // namespace

std::vector<uint8_t> SingleEntryArchive(const EntryInfo& entry, const std::vector<uint8_t>& packed) {
  std::vector<uint8_t> out;

  std::vector<uint8_t> main{kFirstHeaderSize, kArchiverVersion, kMinVersion, kHostMsDos,
                            0 /*flags*/, 0 /*security version*/, kTypeMainHeader, 0 /*reserved*/};
  Put32(main, entry.dos_time);  // created
  Put32(main, entry.dos_time);  // modified
  Put32(main, 0);               // archive size
  Put32(main, 0);               // security envelope position
  Put16(main, 0);               // offset of the file name in the path
  Put16(main, 0);               // security envelope length
  main.push_back(0);            // encryption version
  main.push_back(0);            // last chapter
  AppendNameAndComment(main, "test.arj");
  AppendHeader(out, main);

  std::vector<uint8_t> local{kFirstHeaderSize, kArchiverVersion, kMinVersion, kHostMsDos,
                             0 /*flags*/, entry.method, kTypeBinary, 0 /*garble modifier*/};
  Put32(local, entry.dos_time);
  Put32(local, static_cast<uint32_t>(packed.size()));
  Put32(local, entry.original_size);
  Put32(local, entry.crc32);
  Put16(local, 0);  // offset of the file name in the path
  Put16(local, kDosArchiveAttribute);
  local.push_back(0);  // first chapter
  local.push_back(0);  // last chapter
  AppendNameAndComment(local, entry.name);
  AppendHeader(out, local);

  out.insert(out.end(), packed.begin(), packed.end());
  out.push_back(0x60);
  out.push_back(0xEA);
  Put16(out, 0);
  return out;
}

}  // namespace arjtest
