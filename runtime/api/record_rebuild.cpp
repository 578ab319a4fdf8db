// OpenOptions::recover: volumes read as their ARJ-PROTECT records rebuild
// them (record_rebuild.h).
#include "runtime/api/internal/record_rebuild.h"

#include <algorithm>
#include <utility>

#include "runtime/services/services.h"

namespace arjhost {
namespace {

// The bytes of `volume`, all of them; false when they cannot all be read.
bool ReadAll(const arjrt::ByteReader& volume, std::vector<uint8_t>* bytes) {
  bytes->resize(static_cast<size_t>(volume.size));
  for (uint64_t at = 0; at < volume.size;) {
    const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(volume.size - at, uint64_t{1} << 20));
    const int64_t n = volume.read_at(at, bytes->data() + at, want);
    if (n <= 0) return false;
    at += static_cast<uint64_t>(n);
  }
  return true;
}

}  // namespace

std::shared_ptr<const std::vector<uint8_t>> RebuiltByRecord(const arjrt::ByteReader& volume, RecordRebuild* found) {
  // A longer file holds no record read here: nothing is read of it.
  std::vector<uint8_t> bytes;
  if (volume.size > kLongestProtectedFile || !ReadAll(volume, &bytes)) return nullptr;
  std::vector<uint8_t> repaired;
  const RepairReport report = RepairBytes(std::move(bytes), true, &repaired);
  // A record damaged over sound blocks leaves the volume as it reads.
  if (report.damaged_blocks.empty()) return nullptr;
  const bool rebuilt = report.verdict == RepairVerdict::kRepaired;
  if (!rebuilt && report.verdict != RepairVerdict::kBeyondRecord) return nullptr;
  found->damaged_blocks = report.damaged_blocks;
  found->rebuilt = rebuilt;
  found->cause = rebuilt ? "" : report.cause;
  return rebuilt ? std::make_shared<const std::vector<uint8_t>>(std::move(repaired)) : nullptr;
}

ResultCode ReadOwnVolumeRebuilt(Archive::Objects& o) {
  uint64_t size = 0;
  ResultCode r = host::Io(o.io).GetSize(o.io, &size, 0);
  if (Failed(r)) return r;
  const arjrt::ByteReader file{[io = o.io](uint64_t offset, void* buffer, uint32_t want) {
                                 return ReadIo(io, offset, buffer, want);
                               },
                               size};
  RecordRebuild found;
  found.volume = VolumeNameOf(o.io);
  std::shared_ptr<const std::vector<uint8_t>> rebuilt = RebuiltByRecord(file, &found);
  if (!found.damaged_blocks.empty()) o.volume_rebuilds[found.volume] = {found};
  if (!rebuilt) return RESULT_OK;
  ObjectRef memory = nullptr;
  r = host::CreateObject(o.source, &memory, IID_BLOCK_IO, PID_MEMORY_IO);
  if (Failed(r)) return r;
  r = host::SetPropQWord(memory, arjrt::PROP_MEMORY_VIEW_ADDRESS, reinterpret_cast<uintptr_t>(rebuilt->data()));
  if (!Failed(r)) r = host::SetPropQWord(memory, arjrt::PROP_MEMORY_VIEW_SIZE, rebuilt->size());
  // Named as the file, its set's other volumes are found by the same names.
  if (!Failed(r))
    r = host::SetPropBuffer(memory, PROP_OBJECT_NAME, found.volume.c_str(),
                            static_cast<uint32_t>(found.volume.size() + 1));
  if (!Failed(r)) r = host::CreateObjectDone(memory);
  if (Failed(r)) {
    host::CloseIfOpen(memory);
    return r;
  }
  host::CloseIfOpen(o.io);
  o.io = memory;
  o.own_rebuilt = std::move(rebuilt);
  return RESULT_OK;
}

arjrt::VolumeOpener RebuildingOpener(arjrt::VolumeOpener inner,
                                     std::map<std::string, std::vector<RecordRebuild>>* rebuilds) {
  return [inner = std::move(inner), rebuilds](const std::string& name, arjrt::ByteReader* volume) -> ResultCode {
    const ResultCode r = inner(name, volume);
    if (Failed(r)) return r;
    RecordRebuild found;
    found.volume = name;
    std::shared_ptr<const std::vector<uint8_t>> rebuilt = RebuiltByRecord(*volume, &found);
    // A volume opened again is checked again.
    rebuilds->erase(name);
    if (!found.damaged_blocks.empty()) (*rebuilds)[name] = {found};
    if (!rebuilt) return RESULT_OK;
    volume->size = rebuilt->size();
    volume->read_at = [rebuilt](uint64_t offset, void* buffer, uint32_t want) -> int64_t {
      if (offset >= rebuilt->size()) return 0;
      const size_t count = static_cast<size_t>(std::min<uint64_t>(want, rebuilt->size() - offset));
      std::copy_n(rebuilt->data() + offset, count, static_cast<uint8_t*>(buffer));
      return static_cast<int64_t>(count);
    };
    return RESULT_OK;
  };
}

}  // namespace arjhost
