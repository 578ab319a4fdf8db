// Extraction of one entry through the plug-in's OpenEntry, with the CRC of
// every part checked against its header.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "plugin/format/arj_layout.h"
#include "plugin/format/split_chain.h"
#include "runtime/api/archive.h"
#include "runtime/api/internal/archive_objects.h"
#include "runtime/api/internal/checked_output.h"
#include "runtime/api/internal/entry_facts.h"
#include "runtime/api/internal/host_state.h"
#include "runtime/api/internal/status_of.h"
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
// From this size on an entry is checked and written beside its decoding,
// which takes longer than starting a thread.
constexpr uint64_t kBesideFrom = uint64_t{4} << 20;

// Why OpenEntry failed, as this entry's extraction knows it: the plug-in's
// codes mean more here than in general (a missing object is a volume, a
// cancelled request a password).
Status Explain(ResultCode r, const EntryInfo& entry, bool password_given, const std::string& missing_volume,
               uint64_t unused_packed) {
  switch (r) {
    case ERR_NOT_FOUND:
      return Failure(Code::kVolumeMissing,
                     missing_volume.empty() ? "the volume it continues into is missing"
                                            : "the volume it continues into, " + missing_volume + ", is missing",
                     r);
    case ERR_CANCELLED:
      // The check of a garbled entry cannot tell a wrong key from damaged bytes.
      return password_given ? Failure(Code::kWrongPassword, "damaged data or wrong password", r)
                            : Failure(Code::kPasswordNeeded, "garbled, and no password was given", r);
    case ERR_CORRUPTED:
      if (unused_packed != 0)
        return StatusOf(r, "damaged data: " + std::to_string(unused_packed) +
                               (unused_packed == 1 ? " byte" : " bytes") + " of packed data after the end of the stream");
      return StatusOf(r, format::GoesOnInNextVolume(format::Byte(entry.flags))
                             ? "damaged data, or its next part does not continue it"
                             : "damaged data");
    case ERR_END_OF_DATA:
      return StatusOf(r, "unexpected end of data");
    case ERR_UNSUPPORTED:
      return StatusOf(r, format::UnsupportedMethod(FactsOf(entry)));
    case ERR_BAD_PARAMETER:
      return StatusOf(r, "not an entry of the archive");
    default:
      return StatusOf(r, arjrt::ResultName(r));
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
      // A text that did not take the password must not answer with the one before.
      return host::Text(m.context).SetFromBuffer(m.context, 0, password.data(), static_cast<uint32_t>(password.size()),
                                                 CP_HOST_PATHS, 0);
    });
  }
  ~Requester() { host::CloseIfOpen(object); }
};

// Sizes come from the headers and the decoders stop there, so the bounds
// are judged before a byte is unpacked.
Status OverLimits(const EntryInfo& entry, const Limits& limits) {
  const std::string size = std::to_string(entry.size) + " bytes";
  if (limits.max_entry_size != 0 && entry.size > limits.max_entry_size)
    return StatusOf(ERR_LIMIT_EXCEEDED, "unpacked size " + size + " is over the limit of " +
                                            std::to_string(limits.max_entry_size) + " bytes");
  if (limits.max_ratio != 0 && entry.size > limits.ratio_floor && entry.size / limits.max_ratio > entry.packed)
    return StatusOf(ERR_LIMIT_EXCEEDED, "unpacked size " + size + " is more than " + std::to_string(limits.max_ratio) +
                                            " times the packed size " + std::to_string(entry.packed) +
                                            " bytes (a likely decompression bomb; the ratio limit refuses it)");
  return {};
}

Status OverTotal(const EntryInfo& entry, const Limits& limits) {
  return StatusOf(ERR_LIMIT_EXCEEDED, "unpacked size " + std::to_string(entry.size) +
                                          " bytes would take the total unpacked past the limit of " +
                                          std::to_string(limits.max_total) + " bytes");
}

// Why an entry's bytes could not be written, naming the cause: the
// destination file, or the temporary file a large entry is kept in.
Status CannotWrite(int error, bool destination) {
  return ErrnoStatus(error, destination ? "cannot write the extracted data" : "cannot write the entry's temporary file");
}

// The receiver of the bytes wanted no more.
Status Stopped() { return Failure(Code::kCancelled, "stopped by the receiver of the extracted data"); }

// What Deliver lends the temporary I/O of its request, taken back on
// every path out.
struct LentToArchiver {
  arjrt::ScratchStorage& scratch;
  const void* archiver;
  LentToArchiver(arjrt::ScratchStorage& s, const void* on, arjrt::Delivery* delivery) : scratch(s), archiver(on) {
    scratch.Lend(archiver, delivery);
  }
  ~LentToArchiver() { scratch.TakeBack(archiver); }
  LentToArchiver(const LentToArchiver&) = delete;
  LentToArchiver& operator=(const LentToArchiver&) = delete;
};

}  // namespace

ExtractResult Archive::Test(const EntryInfo& entry, const PasswordSource& passwords) {
  return Deliver(entry, passwords, nullptr, -1);
}

ExtractResult Archive::Extract(const EntryInfo& entry, const ChunkSink& sink, const PasswordSource& passwords) {
  return Deliver(entry, passwords, &sink, -1);
}

ExtractResult Archive::Stream(const EntryInfo& entry, const ChunkSink& sink, const PasswordSource& passwords) {
  return Deliver(entry, passwords, &sink, -1, true);
}

ExtractResult Archive::ExtractToFile(const EntryInfo& entry, int fd, const PasswordSource& passwords) {
  return Deliver(entry, passwords, nullptr, fd);
}

ExtractResult Archive::Deliver(const EntryInfo& entry, const PasswordSource& passwords, const ChunkSink* sink,
                               int fd, bool streaming) {
  ExtractResult outcome;
  outcome.status = OverLimits(entry, host_.limits());
  if (outcome.ok() && !HostAccess::CountUnpacked(host_, entry.size)) outcome.status = OverTotal(entry, host_.limits());
  // Parts that pass their CRCs yet do not make up the file would come out
  // as a wrong file: refused before anything is decoded.
  if (outcome.ok()) outcome.status = CheckParts(entry);
  if (outcome.ok()) outcome.status = CheckEntry(entry);
  if (!outcome.ok()) return outcome;
  ObjectRef a = objects_->archiver;
  Requester requester(objects_->runtime, entry, passwords);
  ObjectRef temp = nullptr;
  PartCheck check(entry);
  // A test keeps nothing, an extraction writes straight into its file, a
  // stream goes straight to its sink: the bytes are checked as the decoders
  // write them. Not a garbled entry's: the plug-in reads each part back to
  // judge the password.
  const bool as_they_come = (sink == nullptr || streaming) && !entry.garbled;
  CheckAsTheyCome checked(check, fd, as_they_come ? sink : nullptr, as_they_come && entry.size >= kBesideFrom);
  // Else a large entry moves from memory straight into the file, not into
  // a temporary file that would be copied out again.
  arjrt::Delivery delivery(fd, as_they_come ? &checked : nullptr);
  const LentToArchiver lent(objects_->runtime.scratch(), a, &delivery);
  objects_->unused_packed = 0;
  ResultCode r = host::Archiver(a).OpenEntry(a, &temp, entry.handle.value(), requester.object);
  if (Failed(r) || temp == nullptr) {
    outcome.status = Explain(Failed(r) ? r : ERR_NOT_INITIALIZED, entry, requester.password_given,
                             state_.missing_volume, objects_->unused_packed);
    // The plug-in passes on the I/O's failure without its cause.
    if (const arjrt::WriteFailure& w = delivery.write_failure(); w.error != 0)
      outcome.status = CannotWrite(w.error, w.in_target);
    // What was decoded before damaged data stopped the decoder has passed
    // on already: for someone rescuing data it is all there is.
    checked.Settle();
    if (checked.sink_stopped()) outcome.status = Stopped();
    if (as_they_come) {
      outcome.size = checked.size();
      outcome.damaged = outcome.status.code == Code::kDamaged && checked.write_error() == 0 &&
                        (fd < 0 || ::ftruncate(fd, static_cast<off_t>(outcome.size)) == 0);
    }
    return outcome;
  }
  std::unique_ptr<HostObject, ResultCode (*)(ObjectRef)> owned(temp, host::CloseObject);
  auto fail = [&](Status why) {
    outcome.status = std::move(why);
    return outcome;
  };
  const bool in_place = fd >= 0 && arjrt::TempIoInSpillTarget(temp);
  uint64_t size = 0;
  r = host::Io(temp).GetSize(temp, &size, 0);
  if (Failed(r)) return fail(StatusOf(r, "cannot read the extracted data"));
  std::vector<uint8_t> buffer;
  checked.Settle();
  if (as_they_come) outcome.size = checked.size();
  if (checked.write_error() != 0) return fail(CannotWrite(checked.write_error(), true));
  if (checked.sink_stopped()) return fail(Stopped());
  for (uint64_t offset = 0; !as_they_come && offset < size;) {
    const uint8_t* data = nullptr;
    size_t got = 0;
    if (!arjrt::TempIoMemorySpan(temp, offset, &data, &got)) {
      if (buffer.empty()) buffer.resize(kCopyChunk);
      const auto want = static_cast<uint32_t>(std::min<uint64_t>(buffer.size(), size - offset));
      uint32_t count = 0;
      if (in_place) {
        if (const int error = arjrt::ReadFullyAt(fd, offset, buffer.data(), want, &count); error != 0)
          return fail(ErrnoStatus(error, "cannot read the extracted data"));
      } else {
        r = host::Io(temp).SeekRead(temp, &count, offset, buffer.data(), want);
        // The end of the data shows as a short count, judged below as a size mismatch.
        if (Failed(r) && r != ERR_END_OF_DATA) return fail(StatusOf(r, "cannot read the extracted data"));
      }
      data = buffer.data();
      got = std::min(count, want);
    }
    if (got == 0) break;
    check.Add(data, got);
    uint32_t done = 0;
    if (sink != nullptr && !(*sink)(data, got)) return fail(Stopped());
    if (sink == nullptr && fd >= 0 && !in_place)
      if (const int error = arjrt::WriteFullyAt(fd, offset, data, static_cast<uint32_t>(got), &done); error != 0)
        return fail(CannotWrite(error, true));
    offset += got;
    outcome.size = offset;
  }
  owned.reset();  // the temporary I/O lets go of the file
  // A spill of an earlier attempt (a wrong password) may have left more.
  if (fd >= 0 && ::ftruncate(fd, static_cast<off_t>(outcome.size)) != 0) return fail(CannotWrite(errno, true));
  if (outcome.size != entry.size)
    outcome.status = StatusOf(ERR_END_OF_DATA, "size mismatch (header " + std::to_string(entry.size) + ", extracted " +
                                                   std::to_string(outcome.size) + ")");
  else if (!check.Finish().empty())
    outcome.status = StatusOf(ERR_CRC_MISMATCH, check.error());
  outcome.damaged = !outcome.ok();
  return outcome;
}

}  // namespace arjhost
