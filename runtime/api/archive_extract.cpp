// Extraction of one entry through the plug-in's OpenEntry, with the CRC of
// every part checked against its header.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "plugin/format/arj_layout.h"
#include "runtime/api/archive.h"
#include "runtime/api/internal/archive_objects.h"
#include "runtime/common/crc32.h"
#include "runtime/core/result_names.h"
#include "runtime/core/runtime.h"
#include "runtime/services/fd_transfer.h"
#include "runtime/services/services.h"
#include "runtime/services/temp_io.h"

namespace arjhost {
namespace {

// Reads of an entry that lies in a file; one chunk of the memory spans.
constexpr uint32_t kCopyChunk = 1024 * 1024;

std::string Hex(uint32_t v) {
  char text[12];
  std::snprintf(text, sizeof text, "%08x", v);
  return text;
}

std::string Explain(ResultCode r, const EntryInfo& entry, bool password_given, const std::string& missing_volume,
                    uint64_t unused_packed) {
  switch (r) {
    case ERR_NOT_FOUND:
      return missing_volume.empty() ? "the volume it continues into is missing"
                                    : "the volume it continues into, " + missing_volume + ", is missing";
    case ERR_CANCELLED:
      return password_given ? "wrong password" : "garbled, and no password was given";
    case ERR_CORRUPTED:
      if (unused_packed != 0)
        return "damaged data: " + std::to_string(unused_packed) + (unused_packed == 1 ? " byte" : " bytes") +
               " of packed data after the end of the stream";
      return (entry.flags & FLAG_SPLIT_NEXT) ? "damaged data, or its next part does not continue it" : "damaged data";
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

// The CRC of every part, checked as the entry's bytes pass: every part
// carries the CRC of its own bytes.
class PartCheck {
 public:
  explicit PartCheck(const EntryInfo& entry) : parts_(entry.parts), left_(parts_.empty() ? 0 : parts_[0].size) {}

  void Add(const uint8_t* data, size_t size) {
    for (size_t at = 0; (at < size || left_ == 0) && part_ < parts_.size();) {
      const auto n = static_cast<size_t>(std::min<uint64_t>(left_, size - at));
      if (n != 0) crc_ = arjrt::Crc32(data + at, n, crc_);
      at += n;
      left_ -= n;
      while (left_ == 0 && part_ < parts_.size()) {
        if (crc_ != parts_[part_].crc && error_.empty())
          error_ = "CRC mismatch (stored " + Hex(parts_[part_].crc) + ", computed " + Hex(crc_) + ")";
        crc_ = 0;
        if (++part_ < parts_.size()) left_ = parts_[part_].size;
      }
    }
  }
  const std::string& error() const { return error_; }
  // After the last byte: every part must have been checked, empty ones
  // too, and a list of parts that could not be matched checks nothing.
  const std::string& Finish() {
    if (parts_.empty() && error_.empty()) error_ = "its parts could not be matched to the headers, so no CRC-32 was checked";
    Add(nullptr, 0);
    if (part_ < parts_.size() && error_.empty()) error_ = "size mismatch (the parts hold more than was extracted)";
    return error_;
  }

 private:
  const std::vector<EntryInfo::Part>& parts_;
  size_t part_ = 0;
  uint64_t left_;
  uint32_t crc_ = 0;
  std::string error_;
};

}  // namespace

ExtractOutcome Archive::Extract(const EntryInfo& entry, const ChunkSink& sink, const PasswordSource& passwords) {
  return Deliver(entry, passwords, &sink, -1);
}

ExtractOutcome Archive::ExtractToFile(const EntryInfo& entry, int fd, const PasswordSource& passwords) {
  return Deliver(entry, passwords, nullptr, fd);
}

ExtractOutcome Archive::Deliver(const EntryInfo& entry, const PasswordSource& passwords, const ChunkSink* sink,
                                int fd) {
  ExtractOutcome outcome;
  outcome.error = OverLimits(entry, host_.limits());
  if (!outcome.error.empty()) {
    outcome.result = ERR_LIMIT_EXCEEDED;
    return outcome;
  }
  // Parts that pass their CRCs yet do not make up the file would come out
  // as a wrong file: refused before anything is decoded.
  outcome.error = PartsProblem(entry);
  if (!outcome.error.empty()) {
    outcome.result = ERR_NOT_FOUND;
    return outcome;
  }
  ObjectRef a = objects_->archiver;
  Requester requester(objects_->runtime, entry, passwords);
  ObjectRef temp = nullptr;
  // A large entry then moves from memory straight into the file, not into
  // a temporary file that would be copied out again.
  arjrt::ScratchStorage& scratch = objects_->runtime.scratch();
  scratch.SetSpillTarget(fd);
  objects_->unused_packed = 0;
  ResultCode r = host::Archiver(a).OpenEntry(a, &temp, entry.handle, requester.object);
  if (Failed(r) || temp == nullptr) {
    scratch.SetSpillTarget(-1);
    outcome.result = Failed(r) ? r : ERR_NOT_INITIALIZED;
    outcome.error =
        Explain(outcome.result, entry, requester.password_given, state_.missing_volume, objects_->unused_packed);
    return outcome;
  }
  std::unique_ptr<HostObject, ResultCode (*)(ObjectRef)> owned(temp, host::CloseObject);
  const bool in_place = fd >= 0 && arjrt::TempIoInSpillTarget(temp);
  uint64_t size = 0;
  host::Io(temp).GetSize(temp, &size, 0);
  PartCheck check(entry);
  std::vector<uint8_t> buffer;
  for (uint64_t offset = 0; offset < size;) {
    const uint8_t* data = nullptr;
    size_t got = 0;
    if (!arjrt::TempIoMemorySpan(temp, offset, &data, &got)) {
      if (buffer.empty()) buffer.resize(kCopyChunk);
      const auto want = static_cast<uint32_t>(std::min<uint64_t>(buffer.size(), size - offset));
      uint32_t count = 0;
      if (in_place) arjrt::ReadFullyAt(fd, offset, buffer.data(), want, &count);
      else host::Io(temp).SeekRead(temp, &count, offset, buffer.data(), want);
      data = buffer.data();
      got = std::min(count, want);
    }
    if (got == 0) break;
    check.Add(data, got);
    uint32_t done = 0;
    const bool delivered = sink != nullptr ? (*sink)(data, got)
                           : in_place      ? true
                                           : arjrt::WriteFullyAt(fd, offset, data, static_cast<uint32_t>(got), &done) == 0;
    if (!delivered) {
      scratch.SetSpillTarget(-1);
      outcome.result = ERR_IO;
      outcome.error = "cannot write the extracted data";
      return outcome;
    }
    offset += got;
    outcome.size = offset;
  }
  owned.reset();  // the temporary I/O lets go of the file
  scratch.SetSpillTarget(-1);
  // A spill of an earlier attempt (a wrong password) may have left more.
  if (fd >= 0 && ::ftruncate(fd, static_cast<off_t>(outcome.size)) != 0) {
    outcome.result = ERR_IO;
    outcome.error = "cannot write the extracted data";
    return outcome;
  }
  if (outcome.size != entry.size) {
    outcome.result = ERR_END_OF_DATA;
    outcome.error = "size mismatch (header " + std::to_string(entry.size) + ", extracted " +
                    std::to_string(outcome.size) + ")";
  } else if (!check.Finish().empty()) {
    outcome.result = ERR_CRC_MISMATCH;
    outcome.error = check.error();
  }
  return outcome;
}

}  // namespace arjhost
