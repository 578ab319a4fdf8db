#include "plugin/rebuild/encoded_entry.h"

#include <cstring>

#include "plugin/format/crc32.h"
#include "plugin/format/arj_layout.h"
#include "plugin/rebuild/crc_of_stream.h"
#include "plugin/rebuild/create_encoder.h"

using namespace arjhost::format;

namespace {

constexpr uint32_t kCrcChunk = 4096;
constexpr uint32_t kHeaderOverhead = 42;  // beyond name and comment: fixed header, two NULs, header CRC, extended size
constexpr uint32_t kExtendedOverhead = 7;  // its size, id byte and CRC

uint32_t ExtendedLength(const EntryTemplate& t) {
  return t.unix_special_length == 0 ? 0 : t.unix_special_length + kExtendedOverhead;
}

// A link's or special file's 'U' extended header, final as written here:
// its size, id and body, and the CRC of id and body.
[[nodiscard]] ResultCode WriteUnixSpecial(OutputStream& out, const EntryTemplate& t) {
  uint8_t id = kUnixSpecialTag;
  const uint32_t crc = Crc32Update(t.unix_special_length, t.unix_special, Crc32Update(1, &id, 0));
  ResultCode r = WriteWord16(out, static_cast<uint16_t>(t.unix_special_length + 1));
  if (!Failed(r)) r = WriteBytes(out, &id, 1);
  if (!Failed(r)) r = WriteBytes(out, t.unix_special, t.unix_special_length);
  if (!Failed(r)) r = WriteDWord32(out, crc);
  return r;
}

uint32_t BasicLength(const EncodedEntry& e) { return e.name_length + e.comment.length + kWrittenBasicOverhead; }

[[nodiscard]] ResultCode WritePlaceholder(OutputStream& out, const EncodedEntry& e) {
  const uint8_t nul = 0;
  ResultCode r = WriteBytes(out, e.header->header, kFixedHeaderSize);
  if (!Failed(r)) r = WriteBytes(out, e.name, e.name_length);
  if (!Failed(r)) r = WriteBytes(out, &nul, 1);
  if (!Failed(r) && e.comment.length != 0) r = WriteBytes(out, e.comment.text, e.comment.length);
  if (!Failed(r)) r = WriteBytes(out, &nul, 1);
  if (!Failed(r)) r = WriteDWord32(out, 0);  // room for the header CRC
  if (!Failed(r) && e.header->unix_special_length != 0) r = WriteUnixSpecial(out, *e.header);
  if (!Failed(r)) r = WriteWord16(out, 0);   // the end of the extended headers
  return r;
}

// Where the file's own name starts in its stored path: after the last '/'.
uint16_t FilespecPosition(const uint8_t* name, uint32_t length) {
  uint32_t position = 0;
  for (uint32_t i = 0; i < length; ++i)
    if (name[i] == '/') position = i + 1;
  return static_cast<uint16_t>(position);  // names are at most kMaxNameLength long
}

void CompleteHeader(uint8_t* h, const EncodedEntry& e, uint32_t method, uint64_t packed, uint64_t size,
                    uint32_t file_crc) {
  StoreWord(h + fixed_header::kBasicHeaderSize, static_cast<uint16_t>(BasicLength(e)));
  // `h` is the header read back: the name follows its fixed part.
  StoreWord(h + fixed_header::kFilespecPosition, FilespecPosition(h + kFixedHeaderSize, e.name_length));
  h[fixed_header::kFirstHeaderSize] = kWrittenFirstHeaderSize;
  StoreDWord(h + fixed_header::kPackedSize, static_cast<uint32_t>(packed));
  StoreDWord(h + fixed_header::kOriginalSize, static_cast<uint32_t>(size));
  // The encoder stores what packing would not make smaller: it says so.
  h[fixed_header::kMethod] = static_cast<uint8_t>(method);
  // Flags, file type and date are the template's, made right there.
  StoreDWord(h + fixed_header::kFileCrc, file_crc);
}

}  // namespace

void ReleaseEntryObjects(EntryObjects& o) {
  host::CloseIfOpen(o.source_stream);
  if (o.source_owned) host::CloseIfOpen(o.source);
  o.source = nullptr;  // an added object stays the list's
  o.source_owned = false;
  host::CloseIfOpen(o.encoder);
}

ResultCode WriteEncodedEntry(ObjectRef archiver, uint8_t* work, OutputStream& out, const EncodedEntry& entry,
                             EntryObjects& objects, ResultCode* process_result) {
  if (entry.name_length == 0 || entry.name_length > kMaxNameLength) return ERR_BAD_PARAMETER;
  if (entry.header->unix_special_length > kMaxUnixSpecialBodySize) return ERR_BAD_PARAMETER;
  EncodedEntry e = entry;
  // A basic header larger than readers take would lose the whole entry.
  if (BasicLength(e) > kMaxBasicHeaderSize) e.comment = {};
  const uint32_t header_length = e.name_length + e.comment.length + kHeaderOverhead + ExtendedLength(*e.header);
  const uint64_t header_at = out.position;

  ObjectRef source = objects.source;
  uint64_t size = 0;
  ResultCode r = host::Io(source).GetSize(source, &size, 0);
  if (Failed(r)) return r;
  // Refused before anything of this entry is written.
  if (size > kMaxStoredSize || header_at + header_length + size > kMaxStoredSize) return ERR_LIMIT_EXCEEDED;

  r = host::CreateObjectQuick(source, &objects.source_stream, IID_STREAM, PID_DEFAULT);
  if (Failed(r)) {
    objects.source_stream = nullptr;
    return r;
  }
  r = CreateEncoder(archiver, e.header->method, &objects.encoder, objects.source_stream, out.stream);
  if (Failed(r)) return r;
  if (Failed(r = host::SetPropQWord(objects.encoder, PROP_CODEC_UNPACKED_SIZE, size))) return r;

  if (Failed(r = WritePlaceholder(out, e))) return r;
  uint32_t file_crc = 0;
  if (Failed(r = CrcOfStream(objects.source_stream, work, kCrcChunk, size, &file_crc))) return r;

  uint64_t packed = 0;
  r = host::Codec(objects.encoder).Process(objects.encoder, &packed);
  *process_result = r;
  if (Failed(r)) return r;
  // The encoder has moved the output on by `packed` bytes: our position follows.
  out.position += packed;
  if (packed > kMaxStoredSize || out.position > kMaxStoredSize) return ERR_LIMIT_EXCEEDED;

  if (Failed(r = FlushOutput(out))) return r;
  if (Failed(r = SeekBackward(out, header_length + packed))) return r;
  if (out.position != header_at) return ERR_IO;
  if (Failed(r = ReadBack(out, work, header_length))) return r;
  // What comes back must be the placeholder we wrote (its name bytes were
  // overwritten in the work buffer by now; its fixed part was not).
  if (std::memcmp(work, e.header->header, kFixedHeaderSize) != 0) return ERR_IO;
  if (Failed(r = SeekBackward(out, header_length))) return r;

  uint32_t method = e.header->method;
  uint32_t length = 0;
  if (Failed(objects.encoder->system->GetPropBuffer(objects.encoder, &length, PROP_CODEC_METHOD, &method, sizeof method)) ||
      length != sizeof method || method > 4)
    method = e.header->method;
  CompleteHeader(work, e, method, packed, size, file_crc);
  const uint32_t basic = BasicLength(e);
  const uint32_t header_crc = Crc32Update(basic, work + fixed_header::kFirstHeaderSize, 0);
  if (Failed(r = WriteBytes(out, work, fixed_header::kBasicHeader + basic))) return r;
  if (Failed(r = WriteDWord32(out, header_crc))) return r;
  // The extended headers stand as the placeholder wrote them.
  const uint32_t written = fixed_header::kBasicHeader + basic + 4;
  return SeekForward(out, header_length - written + packed);
}
