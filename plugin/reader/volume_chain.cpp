#include "plugin/reader/volume_chain.h"

#include <algorithm>
#include <cstring>

#include "plugin/state/archiver_state.h"
#include "plugin/state/trace.h"
#include "plugin/format/arj_layout.h"
#include "plugin/format/split_chain.h"
#include "plugin/format/volume_names.h"
#include "plugin/reader/header_reader.h"
#include "plugin/state/state_tables.h"

using namespace arjhost::format;

namespace {

constexpr uint64_t kNameBufferSize = 16512;  // room for a name to grow as it is rewritten
constexpr uint32_t kHostNameSize = 512;      // what the host may fill
// Volumes that are not found before the archive's own, while no volume has
// been found, after which discovery goes straight to the archive's own.
constexpr int32_t kLeadingMissesBeforeOwn = 16;

// The name buffer and text object that one call holds.
struct NameWork {
  ArchiverState& state;
  char* name = nullptr;
  ObjectRef text = nullptr;

  explicit NameWork(ArchiverState& s) : state(s) {}
  ~NameWork() {
    host::CloseIfOpen(text);
    ReleaseBlock(state, &name);
  }
  uint32_t Length() const { return static_cast<uint32_t>(strnlen(name, kNameBufferSize - 1)); }
  // Reads PROP_OBJECT_NAME of `io`; the buffer always ends in a NUL.
  [[nodiscard]] ResultCode ReadName(ObjectRef io, uint32_t* reported) {
    ResultCode result =
        io->system->GetPropString(io, reported, PROP_OBJECT_NAME, name, kHostNameSize, CP_HOST_PATHS);
    name[kHostNameSize - 1] = '\0';
    return result;
  }
  // The name of `io`, or of the nearest I/O under it that has one (a
  // window or a view of the file names no volume itself).
  [[nodiscard]] ResultCode ReadNameFrom(ObjectRef io, uint32_t* reported);
  // The text carries the name as it now stands, with its own length; a
  // text that did not take it would open the volume named before.
  [[nodiscard]] ResultCode PutNameInText() {
    return host::Text(text).SetFromBuffer(text, 0, name, Length(), CP_HOST_PATHS, 0);
  }
};

ObjectRef NextIoUp(ObjectRef io) { return host::FindAncestor(io, IID_BLOCK_IO); }

ResultCode NameWork::ReadNameFrom(ObjectRef io, uint32_t* reported) {
  name[0] = '\0';
  ResultCode result = RESULT_OK;
  for (ObjectRef o = io; o != nullptr && name[0] == '\0'; o = NextIoUp(o)) result = ReadName(o, reported);
  return result;
}

void ObtainFileSystem(ObjectRef archiver, ArchiverState& s, ObjectRef io, bool may_create_native) {
  if (s.file_system != nullptr) return;
  if (ObjectRef source = host::FindAncestor(io, IID_FS_SOURCE); source != nullptr) {
    for (ObjectRef candidate = io; candidate != nullptr; candidate = NextIoUp(candidate)) {
      if (!Failed(host::FsSource(source).GetFileSystem(source, &s.file_system, candidate)) && s.file_system) return;
      s.file_system = nullptr;
    }
    return;
  }
  if (ObjectRef fs = host::FindAncestor(io, IID_FILE_SYSTEM); fs != nullptr) {
    if (Failed(host::FileSystem(fs).Clone(fs, &s.file_system)) || s.file_system == nullptr) {
      s.file_system = nullptr;
      return;
    }
    for (ObjectRef candidate = io; candidate != nullptr; candidate = NextIoUp(candidate))
      if (!Failed(host::FileSystem(s.file_system).BindToObject(s.file_system, candidate))) return;
    host::CloseIfOpen(s.file_system);
    return;
  }
  if (!may_create_native || host::GetPropDWord(io, PROP_IO_ORIGIN) != IO_ORIGIN_NATIVE_FILE) return;
  if (Failed(host::CreateObjectQuick(archiver, &s.file_system, IID_FILE_SYSTEM, PID_NATIVE_FS))) {
    s.file_system = nullptr;
    return;
  }
  if (Failed(host::FileSystem(s.file_system).BindToObject(s.file_system, io))) host::CloseIfOpen(s.file_system);
}

// Opens a stream over the record's I/O and measures its main header.
[[nodiscard]] ResultCode OpenVolumeStream(VolumeRecord& record) {
  record.stream = nullptr;
  record.entries = 0;
  ResultCode result = host::CreateObjectQuick(record.io, &record.stream, IID_STREAM, PID_DEFAULT);
  if (Failed(result)) return result;
  return MeasureMainHeader(record.stream, &record.first_entry_offset);
}

// A volume that is there but cannot be read (a folder, no permission, no
// descriptor left, no main header): the set is incomplete, and the first
// such volume is kept for the host to be told.
void NoteUnreadableVolume(ArchiverState& s, const NameWork& work, ResultCode cause) {
  s.incomplete = 1;
  if (s.unreadable_cause != RESULT_OK) return;
  s.unreadable_cause = cause;
  const uint32_t length = std::min(work.Length(), kVolumeNameSize - 1);
  std::memcpy(s.unreadable_volume, work.name, length);
  s.unreadable_volume[length] = '\0';
}

// Closes a volume opened by name that is not kept in the set.
void DropVolume(VolumeRecord& record) {
  host::CloseIfOpen(record.io);  // not kept: its close has nothing left to keep
  record.stream = nullptr;
}

// Whether the volume's main header says that the set goes on after it.
bool SetGoesOnAfter(const VolumeRecord& record) {
  uint8_t flags = 0;
  uint32_t count = 0;
  // The count tells: a flags byte not read says nothing goes on.
  IgnoreResult(host::Stream(record.stream).SeekRead(record.stream, &count, fixed_header::kFlags, &flags, sizeof flags));
  return count == sizeof flags && Has(flags, MainFlag::kContinuesInNext);
}

}  // namespace

ResultCode DiscoverVolumes(ObjectRef archiver, ObjectRef archive_io) {
  ArchiverState& s = StateOf(archiver);
  NameWork work(s);
  ResultCode result = AllocateBlock(s, &work.name, kNameBufferSize);
  if (Failed(result)) return result;
  ObtainFileSystem(archiver, s, archive_io, true);
  result = host::CreateObjectQuick(archiver, &work.text, IID_TEXT, PID_DEFAULT);
  if (Failed(result) || s.file_system == nullptr) return Failed(result) && s.volume_count == 0 ? result : RESULT_OK;

  uint32_t reported = 0;
  result = work.ReadNameFrom(archive_io, &reported);
  if (Failed(result)) return s.volume_count == 0 ? result : RESULT_OK;
  if (work.name[0] == '\0') return RESULT_OK;

  const int32_t own = FindVolumeNumber(work.name, work.Length());
  // A negative number ("x.a-1") is no volume number at all.
  if (own < 0 || (own != 0 && SetVolumeNumber(work.name, work.Length(), 0) == 1))
    return s.volume_count == 0 ? ERR_BAD_VOLUME_NAME : RESULT_OK;

  s.volume_count = 0;
  ReleaseBlock(s, &s.volumes);
  result = AllocateBlock(s, &s.volumes, uint64_t{kDiscoveredVolumeSlots} * sizeof(VolumeRecord));
  if (Failed(result)) return result;
  // Traces are best effort: a host that takes none changes nothing here.
  IgnoreResult(Trace(archiver, TRACE_VOLUMES, "arj\tvolumes %d to %d (isize %d - %s)", 0, own,
                     static_cast<int32_t>(reported), work.name));

  int32_t leading_misses = 0;
  uint64_t dropped = 0;  // volumes of sets that ended before the named volume: they count to the bound
  const uint64_t volume_bound = VolumeBound(s);
  for (int64_t n = 0;;) {
    VolumeRecord& record = s.volumes[s.volume_count];
    bool opened_by_name = n != own;
    if (!opened_by_name) {
      record.io = archive_io;
      result = RESULT_OK;
    } else {
      record.io = nullptr;
      result = work.PutNameInText();
      if (!Failed(result))
        result = host::FileSystem(s.file_system)
                     .OpenByName(s.file_system, &record.io, work.text, s.access_mode, OPEN_EXISTING);
      IgnoreResult(Trace(archiver, TRACE_VOLUMES, "arj\topen volume %d result %terr", static_cast<int32_t>(n), result));
    }
    ++n;
    if (!Failed(result) && s.volume_count + dropped >= volume_bound) {
      // One volume more than the set may have: refused, not cut short.
      if (opened_by_name) host::CloseIfOpen(record.io);
      record.io = nullptr;
      return ERR_LIMIT_EXCEEDED;
    }
    if (!Failed(result)) {
      result = OpenVolumeStream(record);
      if (Failed(result) && opened_by_name) DropVolume(record);
      if (!Failed(result)) {
        ++s.volume_count;
        if (Failed(ReserveVolumeSlots(s, uint64_t{s.volume_count} + kFreeVolumeSlots))) return ERR_NO_MEMORY;
        leading_misses = 0;
        // A file numbered past the set's last volume is no part of it. A
        // set that ends before the named volume is not that volume's set:
        // the named one's starts after it.
        if (!SetGoesOnAfter(s.volumes[s.volume_count - 1])) {
          if (n > own) break;
          IgnoreResult(Trace(archiver, TRACE_VOLUMES, "arj\tset ends at volume %d", static_cast<int32_t>(n - 1)));
          for (uint32_t v = 0; v < s.volume_count; ++v) DropVolume(s.volumes[v]);
          dropped += s.volume_count;
          s.volume_count = 0;
        }
      }
    }
    if (Failed(result)) {
      // Only a volume that is not there ends the set quietly.
      if (opened_by_name && result != ERR_NOT_FOUND) NoteUnreadableVolume(s, work, result);
      if (opened_by_name && s.volume_count > 0) {
        result = RESULT_OK;
        break;
      }
      if (n <= own) {
        IgnoreResult(Trace(archiver, TRACE_VOLUMES, "arj\tswitch to ok"));
        result = RESULT_OK;
        if (s.volume_count == 0 && ++leading_misses >= kLeadingMissesBeforeOwn) n = own;
      }
    }
    if (Failed(result) || n > INT32_MAX) break;
    if (SetVolumeNumber(work.name, work.Length(), static_cast<int32_t>(n)) == 1) break;
  }
  return Failed(result) && s.volume_count > 0 ? RESULT_OK : result;
}

uint32_t NextVolumeName(ObjectRef archiver, ObjectRef volume_io, char* out, uint32_t size) {
  ArchiverState& s = StateOf(archiver);
  NameWork work(s);
  if (size == 0 || volume_io == nullptr || Failed(AllocateBlock(s, &work.name, kNameBufferSize))) return 0;
  uint32_t reported = 0;
  if (Failed(work.ReadNameFrom(volume_io, &reported))) return 0;  // a name not read whole names no volume
  const int32_t k = FindVolumeNumber(work.name, work.Length());
  if (k < 0 || k == INT32_MAX || SetVolumeNumber(work.name, work.Length(), k + 1) == 1) return 0;
  const uint32_t length = work.Length();
  if (length + 1 > size) return 0;
  std::memcpy(out, work.name, length + 1);
  return length;
}

ResultCode AttachNextVolume(ObjectRef archiver, ObjectRef volume_io) {
  ArchiverState& s = StateOf(archiver);
  NameWork work(s);
  ResultCode result = AllocateBlock(s, &work.name, kNameBufferSize);
  if (Failed(result)) return result;
  ObtainFileSystem(archiver, s, volume_io, false);
  result = host::CreateObjectQuick(archiver, &work.text, IID_TEXT, PID_DEFAULT);
  uint32_t added = 0;
  // Each pass attaches one volume; a failure takes every pass's volume and
  // entry off again, as a chain broken anywhere must leave nothing of it.
  while (!Failed(result)) {
    ObtainFileSystem(archiver, s, volume_io, false);
    if (s.file_system == nullptr) break;
    uint32_t reported = 0;
    result = work.ReadNameFrom(volume_io, &reported);
    if (Failed(result)) break;
    int32_t k = FindVolumeNumber(work.name, work.Length());
    if (k < 0 || k == INT32_MAX || SetVolumeNumber(work.name, work.Length(), k + 1) == 1) {
      result = ERR_BAD_VOLUME_NAME;
      break;
    }
    if (Failed(result = work.PutNameInText())) break;
    if (s.volume_count >= VolumeBound(s)) {
      result = ERR_LIMIT_EXCEEDED;
      break;
    }
    if (Failed(ReserveVolumeSlots(s, uint64_t{s.volume_count} + kFreeVolumeSlots))) {
      result = ERR_NO_MEMORY;
      break;
    }
    VolumeRecord& record = s.volumes[s.volume_count];
    record.io = nullptr;
    result =
        host::FileSystem(s.file_system).OpenByName(s.file_system, &record.io, work.text, s.access_mode, OPEN_EXISTING);
    if (Failed(result)) {
      if (result != ERR_NOT_FOUND) NoteUnreadableVolume(s, work, result);
      break;
    }
    result = OpenVolumeStream(record);
    if (Failed(result)) {
      NoteUnreadableVolume(s, work, result);
      DropVolume(record);
      break;
    }
    result = ReserveEntrySlots(s, uint64_t{s.entry_count} + kFreeEntrySlots);
    if (Failed(result)) break;

    EntryRecord& entry = s.entries[s.entry_count];
    std::memset(&entry, 0, sizeof entry);
    uint32_t position = record.first_entry_offset;
    LocalHeaderRead header;
    ResultCode read = ReadLocalHeader(record.stream, &position, entry.fixed_header, entry.name, &header);
    if (read == ERR_END_OF_LIST) break;
    if (Failed(read)) {
      s.damaged = 1;
      break;
    }
    const uint8_t flags = EntryFlags(entry.fixed_header);
    if (GoesOnFromPreviousVolume(flags)) s.multi_volume = 1;
    entry.data_offset = static_cast<uint32_t>(position - PackedSize(entry.fixed_header));
    entry.header_offset = record.first_entry_offset;
    entry.volume = record;
    entry.volume_index = s.volume_count;
    SendEntryHeader(archiver, record.io, s.entry_count, header);
    ++record.entries;
    ++s.entry_count;
    ++s.volume_count;
    ++added;
    if (!GoesOnInNextVolume(flags)) break;
    volume_io = record.io;
  }
  if (Failed(result) && added > 0) {
    s.entry_count -= added;
    s.volume_count -= added;
    s.incomplete = 1;
  }
  return result;
}
