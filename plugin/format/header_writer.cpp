#include "plugin/format/header_writer.h"

#include "plugin/format/crc32.h"

namespace arjhost::format {
namespace {

constexpr uint8_t kNul = 0;

bool Put(const ByteWriter& out, const void* bytes, uint32_t size) {
  return size == 0 || out.write(out.context, bytes, size);
}

bool PutWord(const ByteWriter& out, uint16_t value) {
  uint8_t bytes[2];
  StoreWord(bytes, value);
  return Put(out, bytes, sizeof bytes);
}

uint64_t SizeOf(const ByteSpan* pieces, uint32_t count) {
  uint64_t size = 0;
  for (uint32_t i = 0; i < count; ++i) size += pieces[i].size;
  return size;
}

// The pieces, then the CRC of them all (0 when it is not `sealed`).
bool PutWithCrc(const ByteWriter& out, const ByteSpan* pieces, uint32_t count, bool sealed) {
  uint32_t crc = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (!Put(out, pieces[i].data, pieces[i].size)) return false;
    if (sealed) crc = Crc32Update(pieces[i].size, pieces[i].data, crc);
  }
  uint8_t bytes[4];
  StoreDWord(bytes, crc);
  return Put(out, bytes, sizeof bytes);
}

bool WriteBasic(const ByteWriter& out, const ByteSpan* pieces, uint32_t count, bool sealed) {
  const uint64_t size = SizeOf(pieces, count);
  if (size == 0 || size > kMaxBasicHeaderSize) return false;
  return PutWord(out, kArjHeaderId) && PutWord(out, static_cast<uint16_t>(size)) &&
         PutWithCrc(out, pieces, count, sealed);
}

}  // namespace

void NewFixedHeader(FileType type, uint8_t* h) {
  for (size_t i = 0; i < kFixedHeaderSize; ++i) h[i] = 0;
  StoreWord(h + fixed_header::kId, kArjHeaderId);
  h[fixed_header::kFirstHeaderSize] = kWrittenFirstHeaderSize;
  h[fixed_header::kArchiverVersion] = kWrittenArchiverVersion;
  h[fixed_header::kMinVersion] = kWrittenMinVersion;
  h[fixed_header::kHostOs] = Byte(HostOs::kUnix);
  h[fixed_header::kFileType] = Byte(type);
}

uint32_t WrittenBasicHeader::Size() const { return static_cast<uint32_t>(SizeOf(pieces, kPieces)); }

WrittenBasicHeader BasicHeaderOf(const uint8_t* fixed, ByteSpan name, ByteSpan comment) {
  const ByteSpan nul{&kNul, 1};
  return {{{fixed + fixed_header::kBasicHeader, kWrittenFirstHeaderSize}, name, nul, comment, nul}};
}

bool WriteBasicHeader(const ByteWriter& out, const ByteSpan* pieces, uint32_t count) {
  return WriteBasic(out, pieces, count, true);
}

bool WriteBasicHeaderPlaceholder(const ByteWriter& out, const WrittenBasicHeader& basic) {
  return WriteBasic(out, basic.pieces, WrittenBasicHeader::kPieces, false);
}

bool WriteExtendedHeader(const ByteWriter& out, const ByteSpan* pieces, uint32_t count) {
  const uint64_t size = SizeOf(pieces, count);
  if (size == 0 || size > UINT16_MAX) return false;
  return PutWord(out, static_cast<uint16_t>(size)) && PutWithCrc(out, pieces, count, true);
}

bool WriteExtendedEnd(const ByteWriter& out) { return PutWord(out, 0); }

bool WriteEndMarker(const ByteWriter& out) { return PutWord(out, kArjHeaderId) && PutWord(out, 0); }

}  // namespace arjhost::format
