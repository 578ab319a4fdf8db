// The ARJ header layout as the plug-in reads and writes it.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint16_t kArjHeaderId = 0xEA60;
constexpr uint32_t kRecognizedBasicHeaderLimit = 2600;  // basic header sizes below this are recognised
constexpr uint8_t kRecognizedMinVersion = 1;

// Offsets within the 34-byte fixed header (from the header id on).
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
}  // namespace fixed_header

// ARJ flags bits the plug-in tests.
constexpr uint8_t FLAG_GARBLED = 0x01;
constexpr uint8_t FLAG_SPLIT_NEXT = 0x04;
constexpr uint8_t FLAG_SPLIT_PREV = 0x08;

// Strings keep at most this many characters (plus a terminator).
constexpr uint32_t kStoredNameChars = 509;

// Positions within a volume are 32-bit: a volume is read within its first 4 GiB.
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
inline uint32_t PackedSize(const uint8_t* h) { return LoadDWord(h + fixed_header::kPackedSize); }
inline uint32_t OriginalSize(const uint8_t* h) { return LoadDWord(h + fixed_header::kOriginalSize); }
inline uint32_t FileCrc(const uint8_t* h) { return LoadDWord(h + fixed_header::kFileCrc); }
