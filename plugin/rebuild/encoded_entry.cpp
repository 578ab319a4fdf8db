#include "plugin/rebuild/encoded_entry.h"

#include <cstring>

#include "plugin/format/arj_layout.h"
#include "plugin/format/garble_key.h"
#include "plugin/format/header_writer.h"
#include "plugin/format/unix_special.h"
#include "plugin/rebuild/crc_of_stream.h"
#include "plugin/rebuild/create_encoder.h"
#include "plugin/rebuild/garbled_data.h"

using namespace arjhost::format;

namespace {

constexpr uint32_t kCrcChunk = 4096;
constexpr uint8_t kUnixSpecialTagByte = kUnixSpecialTag;

uint32_t BasicLength(const EncodedEntry& e) { return e.name_length + e.comment.length + kWrittenBasicOverhead; }

// The header's length: a link's or special file's 'U' extended header
// holds its tag and body.
uint32_t HeaderLength(const EncodedEntry& e) {
  const uint32_t body = e.header->unix_special_length;
  const uint32_t extended = body != 0 ? 1 : 0;
  return static_cast<uint32_t>(WrittenHeaderSize(BasicLength(e), extended, extended * (1 + body)));
}

// The header as it stands before the entry is packed, its length final
// and its CRC not yet taken: `fixed` is the template's fixed header with
// the basic size written.
[[nodiscard]] ResultCode WritePlaceholder(OutputStream& out, const EncodedEntry& e, const uint8_t* fixed) {
  HeaderOutput writing{out};
  const auto* name = reinterpret_cast<const uint8_t*>(e.name);
  bool written = WriteBasicHeaderPlaceholder(
      writing.Writer(), BasicHeaderOf(fixed, {name, e.name_length}, {e.comment.text, e.comment.length}));
  if (written && e.header->unix_special_length != 0) {
    const ByteSpan record[] = {{&kUnixSpecialTagByte, 1}, {e.header->unix_special, e.header->unix_special_length}};
    written = WriteExtendedHeader(writing.Writer(), record, 2);
  }
  if (written) written = WriteExtendedEnd(writing.Writer());
  return written ? RESULT_OK : writing.Failure(ERR_BAD_PARAMETER);
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
  // `h` is the header read back: the name follows its fixed part.
  StoreWord(h + fixed_header::kFilespecPosition, FilespecPosition(h + kFixedHeaderSize, e.name_length));
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
  if (entry.password_length > kMaxPasswordLength) return ERR_BAD_PARAMETER;
  EncodedEntry e = entry;
  // A basic header larger than readers take would lose the whole entry.
  if (BasicLength(e) > kMaxBasicHeaderSize) e.comment = {};
  const uint32_t header_length = HeaderLength(e);
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

  // The placeholder's fixed part as it must read back: the writer states
  // the id and basic size, and a first header size of its own.
  uint8_t fixed[kFixedHeaderSize];
  std::memcpy(fixed, e.header->header, kFixedHeaderSize);
  StoreWord(fixed + fixed_header::kId, kArjHeaderId);
  StoreWord(fixed + fixed_header::kBasicHeaderSize, static_cast<uint16_t>(BasicLength(e)));
  fixed[fixed_header::kFirstHeaderSize] = kWrittenFirstHeaderSize;
  const bool garbled = e.password_length != 0;
  if (garbled) {
    // Any modifier serves; arj's changes with the clock, as this one does.
    fixed[fixed_header::kFlags] = static_cast<uint8_t>(fixed[fixed_header::kFlags] | Bit(EntryFlag::kGarbled));
    fixed[fixed_header::kGarbleModifier] = fixed[fixed_header::kTime];
  }
  if (Failed(r = WritePlaceholder(out, e, fixed))) return r;
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
  if (garbled && packed != 0) {
    uint8_t key[kMaxPasswordLength];
    MakeGarbleKey(e.password, e.password_length, fixed[fixed_header::kGarbleModifier], key);
    r = GarbleWrittenData(archiver, out.target, out, header_at + header_length, packed, key, e.password_length, work);
    if (Failed(r)) return r;
  }
  if (Failed(r = SeekBackward(out, header_length + packed))) return r;
  if (out.position != header_at) return ERR_IO;
  if (Failed(r = ReadBack(out, work, header_length))) return r;
  // What comes back must be the placeholder we wrote (its name bytes were
  // overwritten in the work buffer by now; its fixed part was not).
  if (std::memcmp(work, fixed, kFixedHeaderSize) != 0) return ERR_IO;
  if (Failed(r = SeekBackward(out, header_length))) return r;

  uint32_t method = e.header->method;
  uint32_t length = 0;
  if (Failed(objects.encoder->system->GetPropBuffer(objects.encoder, &length, PROP_CODEC_METHOD, &method, sizeof method)) ||
      length != sizeof method || method > Byte(kLastMethod))
    method = e.header->method;
  CompleteHeader(work, e, method, packed, size, file_crc);
  const uint8_t* name = work + kFixedHeaderSize;
  const uint8_t* comment = name + e.name_length + 1;
  HeaderOutput writing{out};
  if (!WriteBasicHeader(writing.Writer(), BasicHeaderOf(work, {name, e.name_length}, {comment, e.comment.length})))
    return writing.Failure(ERR_BAD_PARAMETER);
  // The extended headers stand as the placeholder wrote them.
  const uint32_t written = fixed_header::kBasicHeader + BasicLength(e) + 4;  // id, size, basic header, CRC
  return SeekForward(out, header_length - written + packed);
}
