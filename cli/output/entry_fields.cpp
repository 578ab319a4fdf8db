#include "cli/output/entry_fields.h"

#include <cmath>
#include <cstdio>
#include <iterator>

#include "cli/output/text_tools.h"
#include "runtime/api/text.h"

namespace cli {
namespace {

char UnixKindLetter(const arjhost::EntryInfo& e) {
  using Special = arjhost::EntryInfo::Special;
  if (HasFileType(e, FileType::kDirectory)) return 'd';
  if (!HasFileType(e, FileType::kUnixSpecial)) return '-';
  switch (e.special) {
    case Special::kSymbolicLink: return 'l';
    case Special::kFifo: return 'p';
    case Special::kBlockDevice: return 'b';
    case Special::kCharDevice: return 'c';
    default: return '-';
  }
}

std::string UnixModeText(const arjhost::EntryInfo& e) {
  const uint16_t m = e.access_mode;
  std::string text(10, '-');
  text[0] = UnixKindLetter(e);
  const char* letters = "rwxrwxrwx";
  for (int bit = 0; bit < 9; ++bit)
    if (m & (0400 >> bit)) text[1 + bit] = letters[bit];
  // Set-user-ID, set-group-ID and sticky show in the execute places.
  const struct {
    uint16_t bit;
    size_t at;
    char with_x, without_x;
  } specials[] = {{04000, 3, 's', 'S'}, {02000, 6, 's', 'S'}, {01000, 9, 't', 'T'}};
  for (const auto& s : specials)
    if (m & s.bit) text[s.at] = text[s.at] == 'x' ? s.with_x : s.without_x;
  return text;
}

std::string DosAttributesText(const arjhost::EntryInfo& e) {
  using arjhost::format::DosAttribute;
  const uint16_t a = e.access_mode;
  std::string text = ".....";
  if (Has(a, DosAttribute::kDirectory) || HasFileType(e, FileType::kDirectory)) text[0] = 'D';
  const struct {
    DosAttribute attribute;
    size_t at;
    char letter;
  } shown[] = {{DosAttribute::kReadOnly, 1, 'R'}, {DosAttribute::kHidden, 2, 'H'}, {DosAttribute::kSystem, 3, 'S'},
               {DosAttribute::kArchive, 4, 'A'}};
  for (const auto& s : shown)
    if (Has(a, s.attribute)) text[s.at] = s.letter;
  return text;
}

}  // namespace

EntryKind KindOf(const arjhost::EntryInfo& e) {
  if (HasFileType(e, FileType::kDirectory)) return EntryKind::kFolder;
  if (HasFileType(e, FileType::kVolumeLabel) || HasFileType(e, FileType::kChapterLabel)) return EntryKind::kLabel;
  return EntryKind::kFile;
}

bool HasUnixMode(const arjhost::EntryInfo& e) { return arjhost::MadeOnUnix(e); }

std::string AttributesText(const arjhost::EntryInfo& e) {
  if (!e.header_known) return "-";
  return HasUnixMode(e) ? UnixModeText(e) : DosAttributesText(e);
}

std::string OctalMode(uint16_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & arjhost::format::kUnixPermissionBits));
  return text;
}

std::string HostOsText(arjhost::format::HostOs host) {
  const uint8_t host_os = arjhost::format::Byte(host);
  // In the order of arjhost::format::HostOs.
  static const char* const kNames[] = {"MS-DOS", "PRIMOS", "UNIX",  "AMIGA",   "MAC-OS", "OS/2",
                                       "APPLE GS", "ATARI ST", "NEXT", "VAX VMS", "WIN95",  "WIN32"};
  static_assert(std::size(kNames) == arjhost::format::Byte(arjhost::format::HostOs::kWin32) + 1u);
  if (host_os < std::size(kNames)) return kNames[host_os];
  return "host " + std::to_string(host_os);
}

std::string FileTypeText(FileType type) {
  const uint8_t file_type = arjhost::format::Byte(type);
  // In the order of arjhost::format::FileType.
  static const char* const kNames[] = {"binary",       "text",          "comment header",         "directory",
                                       "volume label", "chapter label", "UNIX link or special file"};
  static_assert(std::size(kNames) == arjhost::format::Byte(arjhost::format::kLastFileType) + 1u);
  if (file_type < std::size(kNames)) return kNames[file_type];
  return "type " + std::to_string(file_type);
}

std::string FlagsText(arjhost::format::EntryFlag entry_flags) {
  using arjhost::format::Bit;
  const uint8_t flags = arjhost::format::Byte(entry_flags);
  using arjhost::format::EntryFlag;
  static const struct {
    uint8_t bit;
    const char* name;
  } kNames[] = {{Bit(EntryFlag::kGarbled), "garbled"},
                {Bit(EntryFlag::kContinuesInNext), "continues in the next volume"},
                {Bit(EntryFlag::kContinuesPrevious), "continues from the previous volume"},
                {Bit(EntryFlag::kPathSeparatorsTranslated), "path separators translated"},
                {Bit(EntryFlag::kBackup), "backup"}};
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", flags);
  std::string named;
  for (const auto& n : kNames)
    if (flags & n.bit) named += std::string(named.empty() ? "" : ", ") + n.name;
  return named.empty() ? text : std::string(text) + " (" + named + ")";
}

std::string CrcText(uint32_t crc) {
  static const char kHex[] = "0123456789abcdef";
  std::string text(8, '0');
  for (size_t k = 8; k-- > 0; crc >>= 4) text[k] = kHex[crc & 15];
  return text;
}

std::string RatioText(uint64_t packed, uint64_t size) {
  if (size == 0) return "  -  ";
  const double percent = 100.0 * static_cast<double>(packed) / static_cast<double>(size);
  if (percent >= 999.95) return ">999%";
  // "%5.1f%%" without printf, which costs a listing's row more than the
  // rest of it: the tenths printf would print, rounded from the exact
  // value of `percent` as it rounds (an exact tie to the even tenth). The
  // sign of a fused multiply-add is the exact difference's.
  auto tenths = static_cast<int64_t>(percent * 10);
  while (tenths > 0 && std::fma(percent, 10, -static_cast<double>(tenths)) < 0) --tenths;
  while (std::fma(percent, 10, -static_cast<double>(tenths + 1)) >= 0) ++tenths;
  const double beyond_half = std::fma(percent, 20, -static_cast<double>(2 * tenths + 1));
  if (beyond_half > 0 || (beyond_half == 0 && tenths % 2 != 0)) ++tenths;
  std::string text = std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + "%";
  return text.size() < 6 ? std::string(6 - text.size(), ' ') + text : text;
}

std::string ModifiedText(const arjhost::EntryInfo& e) {
  return e.header_known ? LocalTimeText(e.modified_time) : "-";
}

std::string ChapterRange(const arjhost::EntryInfo& e) {
  char text[16];
  std::snprintf(text, sizeof text, "%03u-%03u", e.first_chapter, e.last_chapter);
  return text;
}

}  // namespace cli
