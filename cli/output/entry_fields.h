// An entry's stored fields as the listings show them: kind, attributes,
// host, flags, times and the small numbers.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/api/archive.h"

namespace cli {

using arjhost::format::FileType;

// Whether the entry's header was read and says it is of `type`.
inline bool HasFileType(const arjhost::EntryInfo& e, FileType type) {
  return e.header_known && e.file_type == type;
}

enum class EntryKind : uint8_t { kFile, kFolder, kLabel };

// A folder entry, a volume or chapter label, or anything else (a file, a
// link, an entry whose header is not known).
EntryKind KindOf(const arjhost::EntryInfo& e);

// The stored attributes: a UNIX mode as ls shows it ("drwxr-xr-x") for an
// entry made on UNIX, else the DOS attributes as "DRHSA" with '.' for
// each one not set; "-" when the header is not known.
std::string AttributesText(const arjhost::EntryInfo& e);
// "0644", the permission bits of a UNIX mode in octal.
std::string OctalMode(uint16_t mode);
// True when the entry's attributes are a UNIX mode.
bool HasUnixMode(const arjhost::EntryInfo& e);

// "UNIX", "MS-DOS", ... or "host N".
std::string HostOsText(arjhost::format::HostOs host_os);
// "binary", "directory", "chapter label", ... or "type N".
std::string FileTypeText(FileType file_type);
// "0x05 (garbled, continues in the next volume)"; "0x00" when none.
std::string FlagsText(arjhost::format::EntryFlag flags);

std::string CrcText(uint32_t crc);
// Packed over unpacked size: " 83.9%", ">999%", "  -  " for an empty entry.
std::string RatioText(uint64_t packed, uint64_t size);
// The modification time as a person reads it; "-" when the header is not known.
std::string ModifiedText(const arjhost::EntryInfo& e);
// "001-003".
std::string ChapterRange(const arjhost::EntryInfo& e);

}  // namespace cli
