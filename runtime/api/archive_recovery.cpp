// OpenOptions::recover: the plug-in reads the archive through a joined I/O
// that leaves out what the recovery walk skipped.
#include <vector>

#include "runtime/api/internal/archive_objects.h"
#include "runtime/format/header_io.h"
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

}  // namespace

ResultCode AttachRecoveryJoin(Archive::Objects& o, std::vector<SkippedRange>* skipped) {
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
  skipped->clear();
  for (format::SkippedRange& s : plan.skipped) skipped->push_back({s.offset + stub, s.size, std::move(s.cause)});
  return RESULT_OK;
}

}  // namespace arjhost
