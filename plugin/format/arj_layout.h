// The ARJ header layout: the one description that the plug-in and the
// runtime both read and write by. Every number of more than one byte is
// little-endian. A volume is a main header, then a local header and its
// packed data per entry, then the end-of-archive marker.
//
//   offset      size  field
//   0           2     header id, the bytes 0x60 0xEA
//   2           2     basic header size B; 0 only in the end marker (which
//                     is these four bytes alone)
//   4           B     basic header: the fixed part of F bytes counted from
//                     offset 4 (fields below), then the name and the
//                     comment, each NUL-terminated
//   4+B         4     header CRC: CRC-32 of the B bytes of the basic header
//   8+B         2     extended header size E; when not 0, E bytes, their
//                     own CRC-32 (4 bytes) and the next size; 0 ends the chain
//   after them        the packed data of a local header (none for the main one)
//
// Offsets of the fixed part, from the header id on (the first 34 bytes of
// every header, which the plug-in keeps verbatim for each entry):
//   4 first header size F   5 archiver version    6 minimum version to extract
//   7 host OS               8 ARJ flags            9 method
//  10 file type            11 garble modifier     12 date and time (4)
//  16 packed size (4)      20 original size (4)   24 file CRC (4)
//  28 filespec position(2) 30 access mode (2)     32 first chapter  33 last chapter
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin/format/arj_types.h"

namespace arjhost::format {

constexpr uint16_t kArjHeaderId = 0xEA60;
constexpr uint8_t kArjHeaderIdLow = 0x60;  // the id's first byte in a file
constexpr size_t kFixedHeaderSize = 34;
constexpr size_t kEndMarkerSize = 4;

// arj refuses a basic header larger than this, main or local.
constexpr uint32_t kMaxBasicHeaderSize = 2600;
// The id, the largest basic header, its CRC and one extended size: what
// one read of a header takes.
constexpr size_t kMaxHeaderPrefix = 4 + kMaxBasicHeaderSize + 4 + 2;

// Offsets within the fixed header (from the header id on).
namespace fixed_header {
constexpr size_t kId = 0;
constexpr size_t kBasicHeaderSize = 2;
constexpr size_t kFirstHeaderSize = 4;
constexpr size_t kArchiverVersion = 5;
constexpr size_t kMinVersion = 6;
constexpr size_t kHostOs = 7;
constexpr size_t kFlags = 8;
constexpr size_t kMethod = 9;
constexpr size_t kFileType = 10;
constexpr size_t kGarbleModifier = 11;
constexpr size_t kTime = 12;
constexpr size_t kDate = 14;
constexpr size_t kPackedSize = 16;
constexpr size_t kOriginalSize = 20;
constexpr size_t kFileCrc = 24;
constexpr size_t kFilespecPosition = 28;
constexpr size_t kAccessMode = 30;
constexpr size_t kFirstChapter = 32;
constexpr size_t kLastChapter = 33;
constexpr size_t kBasicHeader = 4;  // where the basic header (and the first header size) starts
// Past the 34 bytes, in a first header size that holds it (arj 2.39 on):
// where a part of a split file starts in its file, then the access and
// creation times.
constexpr size_t kFilePosition = 34;
}  // namespace fixed_header

// A main header's own fields where a local header has its time and sizes.
namespace main_header {
constexpr size_t kCreated = 12;   // the archive's creation time
constexpr size_t kModified = 16;  // its last change
// Of an archive with ARJ-PROTECT data: where the record starts, and (in a
// first header of more than 30 bytes, as arj writes it) the factor asked for.
constexpr size_t kProtectedLength = 24;
constexpr size_t kProtectFactor = 34;
}  // namespace main_header

// What a written header holds: a first header size of 30 (the fixed part
// up to the last chapter), the name and the comment each with its NUL.
constexpr uint8_t kWrittenFirstHeaderSize = kFixedHeaderSize - fixed_header::kBasicHeader;
constexpr uint32_t kWrittenBasicOverhead = kWrittenFirstHeaderSize + 2;
static_assert(kMaxNameLength + kWrittenBasicOverhead == kMaxBasicHeaderSize,
              "the longest written name fills the largest basic header arj reads, with no comment");
// An extended header costs its size word, its bytes and its CRC.
constexpr uint32_t kExtendedHeaderOverhead = 2 + 4;

// Limits. The plug-in keeps at most this many characters of a stored name
// (plus a terminator) in its entry table.
constexpr uint32_t kStoredNameChars = 509;
static_assert(kStoredNameChars < kMaxNameLength, "a name the table cuts is one a header can hold");
// Entries in one table and volumes in one set; a host may lower both.
constexpr uint64_t kMaxEntries = 4'000'000;
constexpr uint64_t kMaxVolumes = 100'000;
// The plug-in's positions within a volume are 32-bit: a volume is read
// within its first 4 GiB.
constexpr uint64_t kVolumeOffsetLimit = 0xFFFFFFFFull;

inline uint16_t LoadWord(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadDWord(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline void StoreWord(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreDWord(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Fields of a stored fixed header.
inline uint8_t EntryFlags(const uint8_t* h) { return h[fixed_header::kFlags]; }
inline uint8_t EntryMethod(const uint8_t* h) { return h[fixed_header::kMethod]; }
inline FileType EntryFileType(const uint8_t* h) { return FileTypeOf(h[fixed_header::kFileType]); }
inline uint32_t PackedSize(const uint8_t* h) { return LoadDWord(h + fixed_header::kPackedSize); }
inline uint32_t OriginalSize(const uint8_t* h) { return LoadDWord(h + fixed_header::kOriginalSize); }
inline uint32_t FileCrc(const uint8_t* h) { return LoadDWord(h + fixed_header::kFileCrc); }
// An entry whose stored bytes are its content: their CRC is its file CRC.
inline bool StoredPlainFile(const uint8_t* h) {
  return EntryMethod(h) == Byte(Method::kStored) && !Has(EntryFlags(h), EntryFlag::kGarbled) &&
         HoldsFileData(EntryFileType(h));
}

}  // namespace arjhost::format
