#include "runtime/loader/manifest_reader.h"

#include <elf.h>

#include <array>
#include <cstring>
#include <fstream>
#include <iterator>

#include "runtime/common/md5.h"

namespace arjrt {
namespace {

constexpr size_t kMaxPluginFile = size_t{256} << 20;

template <class T>
bool ReadAt(const std::vector<uint8_t>& file, uint64_t offset, T* out) {
  if (offset > file.size() || file.size() - offset < sizeof(T)) return false;
  std::memcpy(out, file.data() + offset, sizeof(T));
  return true;
}

uint32_t WordAt(const std::vector<uint8_t>& b, size_t offset) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | b[offset + i];
  return v;
}

}  // namespace

std::vector<uint8_t> ReadElfSection(const std::string& path, const std::string& section, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot be opened";
    return {};
  }
  std::vector<uint8_t> file;
  file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (file.size() > kMaxPluginFile) {
    *error = path + ": too large for a plug-in";
    return {};
  }
  Elf64_Ehdr eh;
  if (!ReadAt(file, 0, &eh) || std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64) {
    *error = path + ": not a 64-bit ELF file";
    return {};
  }
  Elf64_Shdr names;
  if (eh.e_shentsize != sizeof(Elf64_Shdr) ||
      !ReadAt(file, eh.e_shoff + uint64_t{eh.e_shstrndx} * sizeof(Elf64_Shdr), &names)) {
    *error = path + ": damaged section table";
    return {};
  }
  for (uint32_t i = 0; i < eh.e_shnum; ++i) {
    Elf64_Shdr sh;
    if (!ReadAt(file, eh.e_shoff + uint64_t{i} * sizeof(Elf64_Shdr), &sh)) break;
    uint64_t name_at = names.sh_offset + sh.sh_name;
    if (sh.sh_name >= names.sh_size || name_at >= file.size()) continue;
    const char* name = reinterpret_cast<const char*>(file.data() + name_at);
    size_t room = file.size() - name_at;
    if (strnlen(name, room) != section.size() || section.compare(0, section.size(), name, section.size()) != 0)
      continue;
    if (sh.sh_offset > file.size() || file.size() - sh.sh_offset < sh.sh_size) break;
    return std::vector<uint8_t>(file.begin() + sh.sh_offset, file.begin() + sh.sh_offset + sh.sh_size);
  }
  *error = path + ": no " + section + " section";
  return {};
}

ManifestCheck CheckManifest(const std::vector<uint8_t>& m) {
  ManifestCheck check;
  auto note = [&](bool ok, const std::string& what) {
    check.findings.push_back((ok ? "ok: " : "bad: ") + what);
    return ok;
  };
  bool ok = note(m.size() >= 80, "length " + std::to_string(m.size()) + " holds the header blocks");
  if (!ok) return check;
  ok &= note(std::memcmp(m.data(), "Tamrik\0metadata\0", 16) == 0, "leading text \"Tamrik\" NUL \"metadata\" NUL");
  ok &= note(WordAt(m, 16) == 20, "first block length 20");
  ok &= note(WordAt(m, 20) == 1 && WordAt(m, 24) == 0 && WordAt(m, 28) == 0, "first block leading words 1, 0, 0");
  check.plugin_id = WordAt(m, 32);
  ok &= note(WordAt(m, 40) == 36, "second block length 36");
  check.property_count = WordAt(m, 44);
  ok &= note(WordAt(m, 48) == check.plugin_id, "both blocks name plug-in id " + std::to_string(check.plugin_id));
  check.vendor_id = WordAt(m, 60);
  check.interface_id = WordAt(m, 72);
  size_t at = 80;
  bool records_ok = check.property_count <= 64;
  for (uint32_t i = 0; records_ok && i < check.property_count; ++i) {
    if (m.size() - at < 8) {
      records_ok = false;
      break;
    }
    uint32_t length = WordAt(m, at + 4);
    if (length > m.size() - at - 8) records_ok = false;
    else at += 8 + length;
  }
  ok &= note(records_ok, std::to_string(check.property_count) + " property records within the manifest");
  if (records_ok && m.size() - at == 16) {
    std::array<uint8_t, 16> digest = Md5Of(m.data(), at);
    ok &= note(std::memcmp(digest.data(), m.data() + at, 16) == 0, "MD5 of the first " + std::to_string(at) + " bytes");
  } else if (records_ok) {
    ok &= note(m.size() == at, "no bytes after the property records");
  }
  check.ok = ok;
  return check;
}

}  // namespace arjrt
