// The values an ARJ header's small fields hold, and the bounds of what a
// header holds: what the plug-in, the runtime and an embedder read entries
// by. One of the embedding API's public headers: standard library only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace arjhost::format {

// A header's file type (its byte 10).
enum class FileType : uint8_t {
  kBinary = 0,
  kText = 1,
  kMainHeader = 2,  // the type of a main header; an entry of it holds a comment only
  kDirectory = 3,
  kVolumeLabel = 4,
  kChapterLabel = 5,
  kUnixSpecial = 6,  // a UNIX link, FIFO or device, as arj -a1 stores it
};
// arj skips an entry of a later type ("Unknown file type").
constexpr FileType kLastFileType = FileType::kUnixSpecial;

// The system whose archiver wrote a header (its byte 7).
enum class HostOs : uint8_t {
  kMsDos = 0,
  kPrimos = 1,
  kUnix = 2,
  kAmiga = 3,
  kMacOs = 4,
  kOs2 = 5,
  kAppleGs = 6,
  kAtariSt = 7,
  kNext = 8,
  kVaxVms = 9,
  kWin95 = 10,
  kWin32 = 11,
};

// A header's packing method (its byte 9): 0 stored, 1 to 4 packed, each
// part of a split file with its own.
enum class Method : uint8_t { kStored = 0, kBest = 1, kLessMemory = 2, kFast = 3, kFastest = 4 };
constexpr Method kLastMethod = Method::kFastest;

// Bits of a local header's ARJ flags (its byte 8) that are acted on or
// named; every other bit is carried only.
enum class EntryFlag : uint8_t {
  kGarbled = 0x01,
  kContinuesInNext = 0x04,      // the file goes on in the next volume
  kContinuesPrevious = 0x08,    // this part goes on from the previous volume
  kPathSeparatorsTranslated = 0x10,
  kBackup = 0x20,
};
// Bits of a main header's ARJ flags.
enum class MainFlag : uint8_t {
  kContinuesInNext = 0x04,  // the archive goes on in the next volume
  kProtected = 0x08,        // ARJ-PROTECT data follows the end marker
  kSecured = 0x40,          // an ARJ-SECURITY envelope seals the archive
};

constexpr uint8_t Bit(EntryFlag flag) { return static_cast<uint8_t>(flag); }
constexpr uint8_t Bit(MainFlag flag) { return static_cast<uint8_t>(flag); }
constexpr bool Has(uint8_t flags, EntryFlag flag) { return (flags & Bit(flag)) != 0; }
constexpr bool Has(uint8_t flags, MainFlag flag) { return (flags & Bit(flag)) != 0; }
// A whole flags byte as a typed value: the enum serves as a bit mask (as
// std::filesystem::perms does), every bit kept, named or not.
constexpr EntryFlag EntryFlagsOf(uint8_t stored) { return static_cast<EntryFlag>(stored); }
constexpr uint8_t Byte(EntryFlag flags) { return static_cast<uint8_t>(flags); }
constexpr bool Has(EntryFlag flags, EntryFlag flag) { return Has(Byte(flags), flag); }

// The stored byte of each, and the value of a stored byte. Every byte is
// a value, those not named too (a file type of 7 or more, a method past
// kLastMethod, a host arj does not name): readers judge them, and keep them.
constexpr uint8_t Byte(FileType type) { return static_cast<uint8_t>(type); }
constexpr uint8_t Byte(HostOs host) { return static_cast<uint8_t>(host); }
constexpr uint8_t Byte(Method method) { return static_cast<uint8_t>(method); }
constexpr FileType FileTypeOf(uint8_t stored) { return static_cast<FileType>(stored); }
constexpr HostOs HostOsOf(uint8_t stored) { return static_cast<HostOs>(stored); }
constexpr Method MethodOf(uint8_t stored) { return static_cast<Method>(stored); }

// Binary and text entries hold a file's bytes; the other types hold none
// (arj checks them against no data).
constexpr bool HoldsFileData(FileType type) { return type == FileType::kBinary || type == FileType::kText; }

// The access mode (bytes 30 and 31) of an entry made on DOS, Windows and
// the other hosts holds DOS attributes; one made on UNIX holds the mode.
enum class DosAttribute : uint16_t {
  kReadOnly = 0x01,
  kHidden = 0x02,
  kSystem = 0x04,
  kDirectory = 0x10,
  kArchive = 0x20,
};
constexpr uint16_t Bit(DosAttribute attribute) { return static_cast<uint16_t>(attribute); }
constexpr bool Has(uint16_t access_mode, DosAttribute attribute) { return (access_mode & Bit(attribute)) != 0; }

// A UNIX mode as arj stores it: the permission bits (set-user-ID,
// set-group-ID and sticky among them), and a mark of the kind of file in
// place of the POSIX file type bits.
constexpr uint16_t kUnixPermissionBits = 07777;
enum class UnixMark : uint16_t { kRegularFile = 0x1000, kFolder = 0x2000, kSpecial = 0x4000 };
// The mark of a file of POSIX mode `mode` (its file type bits as stat(2)
// gives them); a link or special file (`special`) is marked as one whatever
// its mode says.
constexpr UnixMark UnixMarkOf(uint32_t mode, bool special) {
  constexpr uint32_t kPosixTypeBits = 0170000, kPosixFolder = 0040000;
  if (special) return UnixMark::kSpecial;
  return (mode & kPosixTypeBits) == kPosixFolder ? UnixMark::kFolder : UnixMark::kRegularFile;
}
constexpr uint16_t StoredUnixMode(UnixMark mark, uint32_t mode) {
  return static_cast<uint16_t>(static_cast<uint16_t>(mark) | (mode & kUnixPermissionBits));
}

// What a UNIX link or special file is, as arj -a1 numbers the kinds in
// the record it stores for one (see unix_special.h).
enum class UnixSpecialKind : uint8_t { kFifo = 0, kHardLink = 1, kSymbolicLink = 2, kBlockDevice = 3, kCharDevice = 4 };
constexpr UnixSpecialKind kLastUnixSpecialKind = UnixSpecialKind::kCharDevice;

// The newest format version an entry may ask of its reader (arj 3.10's
// own): arj skips an entry asking for more ("Unknown version").
constexpr uint8_t kNewestEntryVersion = 11;
// arj -a1 asks this version of a reader of a link or special file.
constexpr uint8_t kUnixSpecialMinVersion = 11;
// The chapters an archive may have (`arj ac`): arj refuses a main header
// naming a later one ("Exceeded chapter limit").
constexpr uint8_t kMaxChapter = 250;

// The longest stored name a written header holds: with the fixed part and
// the two NULs its basic header stays within the 2600 bytes arj reads
// (arj_layout.h ties the two).
constexpr size_t kMaxNameLength = 2568;
// The longest password a garble key is made of: what the reader takes.
constexpr uint32_t kMaxPasswordLength = 511;
// The longest link target a written entry holds (bounds its UNIX record).
constexpr size_t kMaxLinkTargetLength = 1024;
// The smallest volume size a set is written with: room for the main
// header, an entry's header and a part of its data beside them
// (volume_parts.h ties it to them).
constexpr uint64_t kMinVolumeSize = 10 * 1024;

}  // namespace arjhost::format
