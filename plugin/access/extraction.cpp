#include "plugin/access/extraction.h"

#include <cstring>

#include "plugin/format/crc32.h"
#include "plugin/format/garble_key.h"
#include "plugin/state/archiver_state.h"
#include "plugin/format/arj_layout.h"
#include "plugin/format/split_chain.h"
#include "plugin/state/state_tables.h"

using namespace arjhost::format;

namespace {

constexpr uint32_t kTempAccessMode = ACCESS_READ | ACCESS_WRITE;
constexpr uint32_t kTempOpenMode = OPEN_EXISTING | OPEN_CREATE | OPEN_TRUNCATE;
constexpr uint32_t kCrcChunk = 4096;
constexpr uint32_t kCopyStart = 0;
constexpr uint32_t kCopyAll = 0xFFFF;
constexpr uint32_t kCopyFlags = 0x10000;

// The objects of one extraction, released in the order the format of the
// result requires on every path.
struct Extraction {
  ObjectRef archiver;
  ArchiverState& s;
  uint64_t first;  // index of the first part
  uint64_t last;   // index of the last part
  bool garbled;
  ObjectRef window = nullptr;
  ObjectRef garble = nullptr;
  ObjectRef text = nullptr;
  ObjectRef input = nullptr;
  ObjectRef temp = nullptr;
  ObjectRef output = nullptr;
  ObjectRef codec = nullptr;

  ObjectRef Source() const { return garble != nullptr ? garble : window; }

  void CloseAttempt() {
    Close(codec);
    Close(temp);  // its output stream goes with it
    output = nullptr;
    Close(input);
  }
  void CloseAll() {
    Close(codec);
    Close(text);
    Close(garble);
    input = nullptr;  // a child of the garble or window I/O
    Close(window);
  }
  static void Close(ObjectRef& o) { host::CloseIfOpen(o); }
};

const EntryRecord& Part(const Extraction& x, uint64_t index) { return x.s.entries[index]; }

bool DataInsideVolume(const EntryRecord& e) {
  uint64_t size = 0;
  ObjectRef io = e.volume.io;
  if (io == nullptr || Failed(host::Io(io).GetSize(io, &size, 0))) return false;
  uint64_t packed = PackedSize(e.fixed_header);
  return e.data_offset <= size && e.data_offset + packed <= size;
}

// Walks the whole chain of parts before anything is created: each part must
// continue the one before it, in the next volume, garbled alike, with its
// data inside its volume.
[[nodiscard]] ResultCode CheckChain(const ArchiverState& s, uint64_t first, uint64_t* last) {
  uint64_t i = first;
  if (!DataInsideVolume(s.entries[i])) return ERR_CORRUPTED;
  const uint8_t first_flags = EntryFlags(s.entries[first].fixed_header);
  while (GoesOnInNextVolume(EntryFlags(s.entries[i].fixed_header))) {
    if (i + 1 >= s.entry_count) return ERR_NOT_FOUND;  // the next volume is missing
    const EntryRecord& part = s.entries[i];
    const EntryRecord& next = s.entries[i + 1];
    const uint8_t flags = EntryFlags(next.fixed_header);
    if (!ContinuesPart(EntryFlags(part.fixed_header), part.volume_index, flags, next.volume_index) ||
        !GarbledAlike(first_flags, flags) || !DataInsideVolume(next))
      return ERR_CORRUPTED;
    ++i;
  }
  *last = i;
  return RESULT_OK;
}

// A window, codec or key that did not take its properties would decode
// other bytes than the entry's: each setting is checked.
[[nodiscard]] ResultCode PointWindow(Extraction& x, uint64_t index) {
  const EntryRecord& e = Part(x, index);
  ResultCode r = host::SetPropQWord(x.window, PROP_WINDOW_OFFSET, e.data_offset);
  if (!Failed(r)) r = host::SetPropQWord(x.window, PROP_WINDOW_SIZE, PackedSize(e.fixed_header));
  if (!Failed(r)) r = host::SetPropObject(x.window, PROP_WINDOW_BASE, e.volume.io);
  return r;
}

[[nodiscard]] ResultCode SetKey(Extraction& x, uint64_t index) {
  const uint8_t modifier = Part(x, index).fixed_header[fixed_header::kGarbleModifier];
  const uint32_t length = static_cast<uint32_t>(strnlen(x.s.password, kPasswordSize - 1));
  MakeGarbleKey(x.s.password, length, modifier, x.s.garble_key);
  x.s.garble_key[length] = 0;
  ResultCode r = host::SetPropBuffer(x.garble, PROP_GARBLE_KEY, x.s.garble_key, length);
  if (!Failed(r)) r = host::SetPropDWord(x.garble, PROP_GARBLE_KEY_LENGTH, length);
  return r;
}

[[nodiscard]] ResultCode CreateCodec(Extraction& x, uint64_t index) {
  const EntryRecord& e = Part(x, index);
  const uint8_t method = EntryMethod(e.fixed_header);
  ResultCode r = host::CreateObject(x.archiver, &x.codec, IID_CODEC, method != 0 ? PID_ARJ_DECODER : PID_STORE_DECODER);
  if (Failed(r)) {
    x.codec = nullptr;
    return r;
  }
  // On failure the codec stays in x.codec, closed with the rest.
  r = host::SetPropDWord(x.codec, PROP_CODEC_METHOD, method);
  if (!Failed(r)) r = host::SetPropQWord(x.codec, PROP_CODEC_UNPACKED_SIZE, OriginalSize(e.fixed_header));
  if (!Failed(r)) r = host::SetPropObject(x.codec, PROP_CODEC_OUTPUT, x.output);
  if (!Failed(r)) r = host::SetPropObject(x.codec, PROP_CODEC_INPUT, x.input);
  return Failed(r) ? r : host::CreateObjectDone(x.codec);
}

[[nodiscard]] ResultCode CreateTemporaryOutput(Extraction& x) {
  ResultCode r = host::CreateObject(x.archiver, &x.temp, IID_BLOCK_IO, PID_TEMP_IO);
  if (Failed(r)) {
    x.temp = nullptr;
    return r;
  }
  r = host::SetPropDWord(x.temp, PROP_ACCESS_MODE, kTempAccessMode);
  if (!Failed(r)) r = host::SetPropDWord(x.temp, PROP_OPEN_MODE, kTempOpenMode);
  if (!Failed(r)) r = host::CreateObjectDone(x.temp);
  if (Failed(r)) return r;
  r = host::CreateObjectQuick(x.temp, &x.output, IID_STREAM, PID_DEFAULT);
  if (Failed(r)) x.output = nullptr;
  return r;
}

enum class Outcome { kDone, kWrongPassword, kFailed };

// Decodes every part, first to last, into a fresh temporary I/O. For a
// garbled entry a decoder failure or a CRC mismatch means a wrong password.
Outcome DecodeParts(Extraction& x, ResultCode* result) {
  uint64_t total = 0;
  for (uint64_t i = x.first; i <= x.last; ++i) {
    ResultCode r = RESULT_OK;
    if (i != x.first || x.garbled) r = PointWindow(x, i);
    if (x.garbled && !Failed(r)) r = SetKey(x, i);
    if (Failed(r)) {
      *result = r;
      return Outcome::kFailed;
    }
    Extraction::Close(x.input);
    r = host::CreateObjectQuick(x.Source(), &x.input, IID_STREAM, PID_DEFAULT);
    if (Failed(r)) {
      x.input = nullptr;
      *result = r;
      return Outcome::kFailed;
    }
    if (x.temp == nullptr && Failed(r = CreateTemporaryOutput(x))) {
      *result = r;
      return Outcome::kFailed;
    }
    Extraction::Close(x.codec);
    if (Failed(r = CreateCodec(x, i))) {
      *result = r;
      return Outcome::kFailed;
    }
    uint64_t count = 0;
    r = host::Codec(x.codec).Process(x.codec, &count);
    *result = r;
    if (Failed(r)) return x.garbled ? Outcome::kWrongPassword : Outcome::kFailed;
    if (x.garbled &&
        CrcOfIoRange(x.temp, total, count, x.s.work_buffer, kCrcChunk) != FileCrc(Part(x, i).fixed_header))
      return Outcome::kWrongPassword;
    total += count;
  }
  return Outcome::kDone;
}

// Asks the requester for a password; 0 and 1 accept.
[[nodiscard]] ResultCode AskPassword(Extraction& x, ObjectRef requester) {
  ResultCode r = requester->system->SendMessage(requester, MSG_CLASS_PASSWORD, MSG_PASSWORD_REQUEST, x.text,
                                                nullptr, nullptr);
  if (r != 0 && r != 1) return ERR_CANCELLED;
  r = host::Text(x.text).CopyToBuffer(x.text, kCopyStart, kCopyAll, x.s.password, kPasswordSize, CP_HOST_PATHS,
                                      kCopyFlags);
  x.s.password[kPasswordSize - 1] = '\0';
  return Failed(r) ? r : RESULT_OK;
}

[[nodiscard]] ResultCode Extract(Extraction& x, ObjectRef requester) {
  ResultCode r = host::CreateObject(x.archiver, &x.window, IID_BLOCK_IO, PID_WINDOW_IO);
  if (Failed(r)) {
    x.window = nullptr;
    return r;
  }
  if (Failed(r = PointWindow(x, x.first)) || Failed(r = host::CreateObjectDone(x.window))) return r;
  if (!x.garbled) {
    ResultCode result = RESULT_OK;
    DecodeParts(x, &result);
    return result;
  }

  if (Failed(r = host::CreateObject(x.window, &x.garble, IID_BLOCK_IO, PID_GARBLE_IO))) {
    x.garble = nullptr;
    return r;
  }
  if (Failed(r = host::SetPropObject(x.garble, PROP_GARBLE_BASE, x.window))) return r;
  if (Failed(r = host::CreateObjectQuick(x.archiver, &x.text, IID_TEXT, PID_DEFAULT))) {
    x.text = nullptr;
    return r;
  }
  bool ask = x.s.password[0] == '\0';  // a stored password is tried first
  char failed[kPasswordSize] = {};
  for (uint32_t attempt = 0;; ++attempt) {
    if (ask) {
      if (attempt >= kMaxPasswordAttempts) return ERR_CANCELLED;
      if (Failed(r = AskPassword(x, requester))) return r;
      // A requester that answers again with the password that just failed
      // would keep us asking for ever.
      if (attempt > 0 && std::strcmp(failed, x.s.password) == 0) return ERR_CANCELLED;
    }
    if (Failed(r = SetKey(x, x.first)) || Failed(r = host::CreateObjectDone(x.garble))) return r;
    if (x.s.work_buffer == nullptr && Failed(r = AllocateBlock(x.s, &x.s.work_buffer, kWorkBufferSize))) return r;
    ResultCode result = RESULT_OK;
    Outcome outcome = DecodeParts(x, &result);
    if (outcome != Outcome::kWrongPassword) return result;
    // Start again from the first part into a fresh temporary I/O, so that
    // the result always holds every part in order.
    x.CloseAttempt();
    std::memcpy(failed, x.s.password, sizeof failed);
    ask = true;
  }
}

}  // namespace

uint32_t CrcOfIoRange(ObjectRef io, uint64_t offset, uint64_t count, uint8_t* buffer, uint32_t chunk) {
  uint32_t crc = 0;
  const BlockIoMethods& m = host::Io(io);
  while (count != 0) {
    const uint32_t n = count >= chunk ? chunk : static_cast<uint32_t>(count);
    uint32_t read = 0;  // zeroed for every read: a failing read never repeats stale data
    // The count tells: a failed or short read ends the sum short, and so
    // mismatches the CRC it is checked against.
    IgnoreResult(m.SeekRead(io, &read, offset, buffer, n));
    if (read > n) read = n;
    crc = Crc32Update(read, buffer, crc);
    if (read < n) break;
    offset += n;
    count -= n;
  }
  return crc;
}

ResultCode OpenEntry(ObjectRef archiver, ObjectRef* result, uint64_t handle, ObjectRef requester) {
  if (result != nullptr) *result = nullptr;
  ArchiverState& s = StateOf(archiver);
  if (s.entries == nullptr || handle == 0 || handle > s.entry_count) return ERR_BAD_PARAMETER;
  const uint64_t first = handle - 1;
  const uint8_t flags = EntryFlags(s.entries[first].fixed_header);
  if (GoesOnFromPreviousVolume(flags)) return ERR_UNSUPPORTED;
  uint64_t last = first;
  ResultCode r = CheckChain(s, first, &last);
  if (Failed(r)) return r;
  const bool garbled = Has(flags, EntryFlag::kGarbled);
  if (garbled && requester == nullptr) return ERR_BAD_PARAMETER;

  Extraction x{archiver, s, first, last, garbled};
  r = Extract(x, requester);
  if (Failed(r)) {
    Extraction::Close(x.temp);
    x.output = nullptr;
    x.CloseAll();
    return r;
  }
  x.CloseAll();
  if (result != nullptr) *result = x.temp;
  else Extraction::Close(x.temp);
  return r;
}
