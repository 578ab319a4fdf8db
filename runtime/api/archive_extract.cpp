// Extraction of one entry through the plug-in's OpenEntry, with the CRC of
// every part checked against its header.
#include <cstdio>
#include <memory>
#include <vector>

#include "runtime/api/archive.h"
#include "runtime/api/archive_objects.h"
#include "runtime/common/crc32.h"
#include "runtime/core/result_names.h"
#include "runtime/services/services.h"

namespace arjhost {
namespace {

constexpr uint32_t kCopyChunk = 256 * 1024;

std::string Hex(uint32_t v) {
  char text[12];
  std::snprintf(text, sizeof text, "%08x", v);
  return text;
}

std::string Explain(ResultCode r, const EntryInfo& entry, bool password_given) {
  switch (r) {
    case ERR_CANCELLED:
      return password_given ? "wrong password" : "garbled, and no password was given";
    case ERR_CORRUPTED:
      return "damaged data";
    case ERR_END_OF_DATA:
      return "unexpected end of data";
    case ERR_UNSUPPORTED:
      return "unsupported method " + std::to_string(entry.method);
    case ERR_BAD_PARAMETER:
      return "not an entry of the archive";
    default:
      return arjrt::ResultName(r);
  }
}

// The password requests of one extraction, answered from `passwords`.
struct Requester {
  arjrt::Runtime& runtime;
  ObjectRef object = nullptr;
  int attempts = 0;
  bool password_given = false;

  Requester(arjrt::Runtime& r, const EntryInfo& entry, const PasswordSource& passwords) : runtime(r) {
    if (Failed(host::CreateObjectQuick(r.root(), &object, IID_REQUESTER, arjrt::PID_REQUESTER))) object = nullptr;
    if (object == nullptr) return;
    r.AddMessageHandler(object, [this, &entry, &passwords](const arjrt::Message& m) -> ResultCode {
      if (m.msg_class != MSG_CLASS_PASSWORD || m.id != MSG_PASSWORD_REQUEST || m.context == nullptr)
        return ERR_NOT_HANDLED;
      std::string password;
      if (!passwords || !passwords(entry, attempts++, &password)) return ERR_CANCELLED;
      password_given = true;
      host::Text(m.context).SetFromBuffer(m.context, 0, password.data(), static_cast<uint32_t>(password.size()),
                                          CP_HOST_PATHS, 0);
      return RESULT_OK;
    });
  }
  ~Requester() {
    if (object != nullptr) host::CloseObject(object);
  }
};

// Sizes come from the headers and the decoders stop there, so the bounds
// are judged before a byte is unpacked.
std::string OverLimits(const EntryInfo& entry, const Limits& limits) {
  const std::string size = std::to_string(entry.size) + " bytes";
  if (limits.max_entry_size != 0 && entry.size > limits.max_entry_size)
    return "unpacked size " + size + " is over the limit of " + std::to_string(limits.max_entry_size) + " bytes";
  if (limits.max_ratio != 0 && entry.size > limits.ratio_floor && entry.size / limits.max_ratio > entry.packed)
    return "unpacked size " + size + " is more than " + std::to_string(limits.max_ratio) + " times the packed size " +
           std::to_string(entry.packed) + " bytes (a likely decompression bomb; the ratio limit refuses it)";
  return {};
}

}  // namespace

ExtractOutcome Archive::Extract(const EntryInfo& entry, const ChunkSink& sink, const PasswordSource& passwords) {
  ExtractOutcome outcome;
  outcome.error = OverLimits(entry, host_.limits());
  if (!outcome.error.empty()) {
    outcome.result = ERR_LIMIT_EXCEEDED;
    return outcome;
  }
  ObjectRef a = objects_->archiver;
  Requester requester(objects_->runtime, entry, passwords);
  ObjectRef temp = nullptr;
  ResultCode r = host::Archiver(a).OpenEntry(a, &temp, entry.handle, requester.object);
  if (Failed(r) || temp == nullptr) {
    outcome.result = Failed(r) ? r : ERR_NOT_INITIALIZED;
    outcome.error = Explain(outcome.result, entry, requester.password_given);
    return outcome;
  }
  std::unique_ptr<HostObject, ResultCode (*)(ObjectRef)> owned(temp, host::CloseObject);
  uint64_t size = 0;
  host::Io(temp).GetSize(temp, &size, 0);
  std::vector<uint8_t> buffer(kCopyChunk);
  size_t part = 0;
  uint64_t part_left = entry.parts.empty() ? 0 : entry.parts[0].size;
  uint32_t part_crc = 0;
  std::string crc_error;
  for (uint64_t offset = 0; offset < size;) {
    uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(buffer.size(), size - offset));
    uint32_t got = 0;
    host::Io(temp).SeekRead(temp, &got, offset, buffer.data(), want);
    if (got == 0) break;
    // The CRC runs part by part: every part carries the CRC of its own bytes.
    for (uint32_t at = 0; at < got && part < entry.parts.size();) {
      uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(part_left, got - at));
      part_crc = arjrt::Crc32(buffer.data() + at, n, part_crc);
      at += n;
      part_left -= n;
      while (part_left == 0 && part < entry.parts.size()) {
        if (part_crc != entry.parts[part].crc && crc_error.empty())
          crc_error = "CRC mismatch (stored " + Hex(entry.parts[part].crc) + ", computed " + Hex(part_crc) + ")";
        part_crc = 0;
        if (++part < entry.parts.size()) part_left = entry.parts[part].size;
      }
    }
    if (!sink(buffer.data(), got)) {
      outcome.result = ERR_IO;
      outcome.error = "cannot write the extracted data";
      return outcome;
    }
    offset += got;
    outcome.size = offset;
  }
  if (outcome.size != entry.size) {
    outcome.result = ERR_END_OF_DATA;
    outcome.error = "size mismatch (header " + std::to_string(entry.size) + ", extracted " +
                    std::to_string(outcome.size) + ")";
  } else if (!crc_error.empty()) {
    outcome.result = ERR_CRC_MISMATCH;
    outcome.error = crc_error;
  }
  return outcome;
}

}  // namespace arjhost
