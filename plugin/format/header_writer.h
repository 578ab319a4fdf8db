// Writing ARJ headers: the fixed part of a header of our own making, the
// layout of a basic header (id, size, bytes, CRC), of each extended header
// (size, bytes, CRC) and of the marks that end them, with every CRC taken
// here. The one writer of the plug-in's rebuild and of the runtime's new
// archives. Bytes go out through a ByteWriter; nothing is allocated.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin/format/arj_layout.h"

namespace arjhost::format {

// The versions a header of ours states: arj 3.10's own, and the oldest
// reader's.
constexpr uint8_t kWrittenArchiverVersion = kNewestEntryVersion;
constexpr uint8_t kWrittenMinVersion = 1;

// Takes `size` bytes in order; false stops the writing (a writer that
// fails keeps its own cause).
struct ByteWriter {
  void* context;
  bool (*write)(void* context, const void* bytes, uint32_t size);
};

struct ByteSpan {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
};

// The fixed header (kFixedHeaderSize bytes from the id on) of a header of
// our own making: the id, a first header size of kWrittenFirstHeaderSize,
// our versions, host UNIX and `type`; every other field 0.
void NewFixedHeader(FileType type, uint8_t* h);

// A basic header as written here: the fixed part of `fixed` from the first
// header size on (kWrittenFirstHeaderSize bytes), then the name and the
// comment, each ended by a NUL.
struct WrittenBasicHeader {
  static constexpr uint32_t kPieces = 5;
  ByteSpan pieces[kPieces];
  uint32_t Size() const;
};
WrittenBasicHeader BasicHeaderOf(const uint8_t* fixed, ByteSpan name, ByteSpan comment);

// The basic header made of `pieces` in order: the id, its size, its bytes
// and their CRC. False when the writer stopped.
bool WriteBasicHeader(const ByteWriter& out, const ByteSpan* pieces, uint32_t count);
inline bool WriteBasicHeader(const ByteWriter& out, const WrittenBasicHeader& basic) {
  return WriteBasicHeader(out, basic.pieces, WrittenBasicHeader::kPieces);
}
// The same with 0 where the CRC belongs: a header written ahead of what it
// describes, which no reader takes for sound before it is written again.
bool WriteBasicHeaderPlaceholder(const ByteWriter& out, const WrittenBasicHeader& basic);
// One extended header made of `pieces`: its size, its bytes and their CRC.
bool WriteExtendedHeader(const ByteWriter& out, const ByteSpan* pieces, uint32_t count);
// The empty size that ends a header's extended headers.
bool WriteExtendedEnd(const ByteWriter& out);
// The end-of-archive marker: the id and a basic header size of 0.
bool WriteEndMarker(const ByteWriter& out);

// What a header takes: the basic header of `basic_size` bytes with its id,
// size and CRC, `extended_count` extended headers of `extended_bytes`
// bytes together, and the size that ends them.
constexpr uint64_t WrittenHeaderSize(uint32_t basic_size, uint32_t extended_count, uint64_t extended_bytes) {
  return fixed_header::kBasicHeader + uint64_t{basic_size} + 4 +
         uint64_t{extended_count} * kExtendedHeaderOverhead + extended_bytes + 2;
}

}  // namespace arjhost::format
