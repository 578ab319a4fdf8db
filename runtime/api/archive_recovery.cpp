// OpenOptions::recover: the plug-in reads each volume through a view that
// leaves out what the recovery walk skipped: the archive's own volume
// through a joined I/O, the others of its set as the source opens them.
#include <memory>
#include <string>
#include <vector>

#include "runtime/api/internal/archive_objects.h"
#include "runtime/format/header_io.h"
#include "runtime/services/joined_ranges.h"
#include "runtime/services/native_path.h"
#include "runtime/services/services.h"

namespace arjhost {
namespace {

// The ranges between the skipped ones, from 0 to `size`.
std::vector<arjrt::JoinedRange> KeptRanges(const std::vector<format::SkippedRange>& skipped, uint64_t size) {
  std::vector<arjrt::JoinedRange> kept;
  uint64_t at = 0;
  for (const format::SkippedRange& s : skipped) {
    if (s.offset > at) kept.push_back({at, s.offset - at});
    at = s.offset + s.size;
  }
  if (at < size) kept.push_back({at, size - at});
  return kept;
}

// The skipped ranges of a volume as the API reports them; `stub` is where
// the archive starts in its file.
void Record(std::vector<format::SkippedRange>& plan, const std::string& volume, uint64_t stub,
            std::vector<SkippedRange>* out) {
  for (format::SkippedRange& s : plan) out->push_back({s.offset + stub, s.size, std::move(s.cause), volume});
}

int64_t ReadThrough(void* context, uint64_t offset, void* buffer, uint32_t size) {
  return static_cast<const arjrt::ByteReader*>(context)->read_at(offset, buffer, size);
}

}  // namespace

std::string VolumeNameOf(ObjectRef io) {
  for (; io != nullptr; io = host::FindAncestor(io, IID_BLOCK_IO)) {
    std::string name = StringProperty(io, PROP_OBJECT_NAME);
    if (!name.empty()) return name;
  }
  return "";
}

ResultCode AttachRecoveryJoin(Archive::Objects& o) {
  ObjectRef base = o.archive_io();
  uint64_t size = 0;
  ResultCode r = host::Io(base).GetSize(base, &size, 0);
  if (Failed(r)) return r;
  format::RecoveryPlan plan;
  // Without a main header the plug-in has nothing to open either: it is
  // left to say so.
  if (Failed(arjrt::PlanRecovery(base, size, &plan)) || plan.skipped.empty()) return RESULT_OK;
  const std::vector<arjrt::JoinedRange> kept = KeptRanges(plan.skipped, size);
  r = host::CreateObject(base, &o.joined, IID_BLOCK_IO, arjrt::PID_JOINED_IO);
  if (Failed(r)) {
    o.joined = nullptr;
    return r;
  }
  r = host::SetPropObject(o.joined, arjrt::PROP_JOINED_BASE, base);
  if (!Failed(r))
    r = host::SetPropBuffer(o.joined, arjrt::PROP_JOINED_RANGES, kept.data(),
                            static_cast<uint32_t>(kept.size() * sizeof(arjrt::JoinedRange)));
  if (!Failed(r)) r = host::CreateObjectDone(o.joined);
  if (Failed(r)) {
    host::CloseIfOpen(o.joined);
    return r;
  }
  // Offsets in the file, past the stub of a self-extracting archive.
  const uint64_t stub = o.window != nullptr ? FixedProperty<uint64_t>(o.window, PROP_WINDOW_OFFSET) : 0;
  const std::string volume = VolumeNameOf(base);
  Record(plan.skipped, volume, stub, &o.volume_skips[volume]);
  return RESULT_OK;
}

arjrt::VolumeOpener RecoveringOpener(arjrt::VolumeOpener inner, std::map<std::string, std::vector<SkippedRange>>* skips) {
  return [inner = std::move(inner), skips](const std::string& name, arjrt::ByteReader* volume) -> ResultCode {
    const ResultCode r = inner(name, volume);
    if (Failed(r)) return r;
    format::RecoveryPlan plan = format::PlanRecovery({volume, ReadThrough}, volume->size);
    // A volume without a main header is the plug-in's to refuse.
    if (plan.main_header != format::HeaderCause::kHeader || plan.skipped.empty()) return RESULT_OK;
    auto kept = std::make_shared<arjrt::JoinedRanges>();
    if (Failed(kept->Set(KeptRanges(plan.skipped, volume->size)))) return ERR_CORRUPTED;
    std::vector<SkippedRange>& recorded = (*skips)[name];
    recorded.clear();  // a volume opened again is planned again
    Record(plan.skipped, name, 0, &recorded);
    volume->size = kept->total();
    volume->read_at = [base = std::move(volume->read_at), kept](uint64_t offset, void* buffer, uint32_t size) {
      uint32_t done = 0;
      const ResultCode read = kept->Read(offset, static_cast<uint8_t*>(buffer), size, &done,
                                         [&base](uint64_t at, uint8_t* out, uint32_t want, uint32_t* got) {
                                           const int64_t n = base(at, out, want);
                                           *got = n > 0 ? static_cast<uint32_t>(n) : 0;
                                           return n < 0 ? ERR_IO : RESULT_OK;
                                         });
      return Failed(read) ? int64_t{-1} : int64_t{done};
    };
    return RESULT_OK;
  };
}

arjrt::VolumeOpener SiblingFileOpener(ObjectRef root, const std::string& archive_path) {
  const std::string directory(arjrt::DirectoryName(archive_path));
  return [root, directory](const std::string& name, arjrt::ByteReader* volume) -> ResultCode {
    if (!arjrt::IsSiblingName(name)) return ERR_BAD_PARAMETER;
    ObjectRef io = nullptr;
    ResultCode r = OpenNativeFileForReading(root, arjrt::JoinPath(directory, name), &io);
    // A set's names are made by the rules of case-blind file systems, as
    // the native file system finds them.
    std::string other;
    if (r == ERR_NOT_FOUND && arjrt::FindNameIgnoringCase(directory, name, &other))
      r = OpenNativeFileForReading(root, arjrt::JoinPath(directory, other), &io);
    uint64_t size = 0;
    if (!Failed(r)) r = host::Io(io).GetSize(io, &size, 0);
    if (Failed(r)) {
      host::CloseIfOpen(io);
      return r;
    }
    // The file closes with the last copy of its reader.
    std::shared_ptr<HostObject> file(io, [](ObjectRef f) { host::CloseIfOpen(f); });
    volume->size = size;
    volume->read_at = [file](uint64_t offset, void* buffer, uint32_t want) {
      return ReadIo(file.get(), offset, buffer, want);
    };
    return RESULT_OK;
  };
}

int64_t ReadIo(ObjectRef io, uint64_t offset, void* buffer, uint32_t size) {
  uint32_t count = 0;
  const ResultCode read = host::Io(io).SeekRead(io, &count, offset, buffer, size);
  return Failed(read) && read != ERR_END_OF_DATA ? int64_t{-1} : int64_t{count};
}

}  // namespace arjhost
