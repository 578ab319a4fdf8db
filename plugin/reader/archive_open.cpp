#include "plugin/reader/archive_open.h"

#include <cstring>

#include "plugin/state/trace.h"
#include "plugin/format/arj_layout.h"
#include "plugin/format/split_chain.h"
#include "plugin/reader/header_reader.h"
#include "plugin/state/state_tables.h"
#include "plugin/reader/volume_chain.h"

using namespace arjhost::format;

namespace {

constexpr uint64_t kMainHeaderSlack = 16000;  // kept after the main header copy
constexpr uint32_t kDigestOutputSize = 32;

void CopyModesFromArchiveIo(ObjectRef archiver, ArchiverState& s) {
  if (ObjectRef io = host::FindAncestor(archiver, IID_BLOCK_IO); io != nullptr) {
    s.open_mode = host::GetPropDWord(io, PROP_OPEN_MODE);
    s.access_mode = host::GetPropDWord(io, PROP_ACCESS_MODE);
  }
}

void MarkRestricted(ArchiverState& s) {
  s.restricted = 1;
  s.capabilities = kCapabilitiesRestricted;
}

uint64_t VolumeSize(ObjectRef io) {
  uint64_t size = 0;
  if (Failed(host::Io(io).GetSize(io, &size, 0))) return 0;
  return size;
}

// The digest of volume `v` of the table: the archive digest again when it
// is the volume OnInit digested, read whole both times into as many
// entries (the images hash the headers' bytes and offsets alone).
uint64_t VolumeDigest(const ArchiverState& s, uint32_t v) {
  const VolumeRecord& volume = s.volumes[v];
  if (s.digested_volume != nullptr && volume.io == s.digested_volume && volume.entries == s.digested_entries)
    return s.archive_digest;
  return DigestVolumeEntries(s.entries, s.digest, v, s.entry_count);
}

void SendVolumeDigests(ArchiverState& s, ObjectRef target) {
  for (uint32_t v = 0; v < s.volume_count; ++v) {
    uint64_t digest = VolumeDigest(s, v);
    uint8_t bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(digest >> (8 * i));
    uint32_t length = sizeof bytes;
    // A notice: whether the host takes it changes nothing for the archive.
    IgnoreResult(
        target->system->SendMessage(target, MSG_CLASS_ARCHIVE, MSG_VOLUME_DIGEST, s.volumes[v].io, bytes, &length));
  }
}

// Tells the host which volume could not be read, and why.
void SendUnreadableVolume(ArchiverState& s, ObjectRef target) {
  uint8_t message[4 + kVolumeNameSize] = {};
  StoreDWord(message, static_cast<uint32_t>(s.unreadable_cause));
  const uint32_t name_length = static_cast<uint32_t>(strnlen(s.unreadable_volume, kVolumeNameSize - 1));
  std::memcpy(message + 4, s.unreadable_volume, name_length);
  uint32_t length = 4 + name_length;
  // A notice, as the digests are: the set is incomplete whatever the host does with it.
  IgnoreResult(target->system->SendMessage(target, MSG_CLASS_ARCHIVE, MSG_VOLUME_UNREADABLE, nullptr, message, &length));
}

}  // namespace

ResultCode OnInit(ObjectRef archiver) {
  ArchiverState& s = StateOf(archiver);
  ResultCode result = host::CreateObjectQuick(archiver, &s.memory, IID_MEMORY, PID_DEFAULT);
  if (Failed(result)) {
    s.memory = nullptr;
    return result;
  }
  s.restricted = 0;
  s.capabilities = kCapabilitiesAfterInit;
  CopyModesFromArchiveIo(archiver, s);
  s.entry_selector = kCurrentEntrySelector;
  result = OpenArchive(archiver, host::FindAncestor(archiver, IID_BLOCK_IO), 1);
  if (Failed(result)) return result;
  if (s.multi_volume) MarkRestricted(s);
  if (s.digest != nullptr) return RESULT_OK;
  result = host::CreateObjectQuick(archiver, &s.digest, IID_DIGEST, PID_DIGEST);
  if (Failed(result)) {
    s.digest = nullptr;
    s.archive_digest = kNoArchiveDigest;
    return result;
  }
  s.archive_digest = DigestVolumeEntries(s.entries, s.digest, 0, s.entry_count);
  if (s.archive_digest != kNoArchiveDigest) {
    s.digested_volume = s.volumes[0].io;
    s.digested_entries = s.volumes[0].entries;
  }
  return result;
}

ResultCode OnInitDone(ObjectRef archiver) {
  ArchiverState& s = StateOf(archiver);
  s.restricted = 0;
  s.capabilities = kCapabilitiesAfterInitDone;
  ResultCode result = RESULT_OK;
  CopyModesFromArchiveIo(archiver, s);
  s.entry_selector = kCurrentEntrySelector;
  if (s.scan_all_volumes == 1) result = OpenArchive(archiver, host::FindAncestor(archiver, IID_BLOCK_IO), 0);
  if (s.multi_volume) MarkRestricted(s);
  if (ObjectRef target = host::FindAncestor(archiver, IID_FS_SOURCE); target != nullptr) {
    if (s.digest != nullptr && !Failed(result)) SendVolumeDigests(s, target);
    if (s.unreadable_cause != RESULT_OK) SendUnreadableVolume(s, target);
    if (s.incomplete) {
      // Names the volume the last entry continues into, when that is what is missing.
      char missing[kVolumeNameSize] = {};
      uint32_t length = 0;
      if (s.entry_count != 0 && GoesOnInNextVolume(EntryFlags(s.entries[s.entry_count - 1].fixed_header)))
        length = NextVolumeName(archiver, s.entries[s.entry_count - 1].volume.io, missing, sizeof missing);
      // A notice, as the digests are.
      IgnoreResult(target->system->SendMessage(target, MSG_CLASS_ARCHIVE, MSG_ARCHIVE_INCOMPLETE, nullptr,
                                               length != 0 ? missing : nullptr, length != 0 ? &length : nullptr));
    }
  }
  if (Failed(result)) return result;
  if (s.damaged) {
    MarkRestricted(s);
    return WARN_CORRUPTED;
  }
  return result;
}

ResultCode OpenArchive(ObjectRef archiver, ObjectRef archive_io, uint32_t single_volume) {
  ArchiverState& s = StateOf(archiver);
  if (archive_io == nullptr) return ERR_NO_SOURCE;
  if (s.archive_stream == nullptr) {
    s.archive_io = archive_io;
    if (Failed(host::CreateObjectQuick(archive_io, &s.archive_stream, IID_STREAM, PID_DEFAULT))) {
      s.archive_stream = nullptr;
      return ERR_NO_SOURCE;
    }
  }
  uint32_t length = 0;
  ResultCode result = MeasureMainHeader(s.archive_stream, &length);
  if (Failed(result)) return result;
  s.unreadable_cause = RESULT_OK;
  s.unreadable_volume[0] = '\0';

  ReleaseBlock(s, &s.volumes);
  result = AllocateBlock(s, &s.volumes, uint64_t{kInitialVolumeSlots} * sizeof(VolumeRecord));
  if (Failed(result)) return result;
  s.volume_count = 1;
  s.volumes[0] = {archive_io, s.archive_stream, length, 0};

  s.main_header_length = length;
  ReleaseBlock(s, &s.main_header);
  result = AllocateBlock(s, &s.main_header, uint64_t{length} + kMainHeaderSlack);
  if (Failed(result)) {
    s.main_header_length = 0;
    return result;
  }
  // The copy is written out again by a rebuild: it must be the bytes measured.
  uint32_t count = 0;
  result = host::Stream(s.archive_stream).SeekRead(s.archive_stream, &count, 0, s.main_header, length);
  if (Failed(result) || count != length) {
    ReleaseBlock(s, &s.main_header);
    s.main_header_length = 0;
    return Failed(result) ? result : ERR_CORRUPTED;
  }
  const uint8_t main_flags = EntryFlags(s.main_header);

  if (!single_volume) {
    result = DiscoverVolumes(archiver, archive_io);
    if (Failed(result)) return result;
  }
  // Entries another volume added since (AttachNextVolume) end the scan's claim.
  if (s.volume_count == 1 && s.entries != nullptr && s.scanned_volume == archive_io &&
      s.volumes[0].io == archive_io && s.volumes[0].first_entry_offset == s.scanned_offset &&
      s.entry_count == s.scanned_entries) {
    s.volumes[0].entries = s.scanned_entries;
  } else {
    result = ScanEntries(archiver);
    if (Failed(result)) return result;
  }

  if (s.volume_count > 1 || Has(main_flags, MainFlag::kContinuesInNext)) {
    s.multi_volume = 1;
    IgnoreResult(Trace(archiver, TRACE_VOLUMES, "arj\tvolumes count %d", static_cast<int32_t>(s.volume_count)));
  }
  if (s.entry_count == 0) return RESULT_OK;
  const uint8_t first_flags = EntryFlags(s.entries[0].fixed_header);
  const uint8_t last_flags = EntryFlags(s.entries[s.entry_count - 1].fixed_header);
  // A last entry continuing into a volume that is not there stays listed;
  // its extraction names the missing volume.
  if (!s.multi_volume) {
    if (GoesOnInNextVolume(last_flags)) s.incomplete = 1;
    return RESULT_OK;
  }
  if (single_volume) {
    if (GoesOnInNextVolume(last_flags) && Failed(AttachNextVolume(archiver, archive_io))) s.incomplete = 1;
  } else if (TableLacksVolume(first_flags, last_flags)) {
    s.incomplete = 1;
  }
  return RESULT_OK;
}

ResultCode ScanEntries(ObjectRef archiver) {
  ArchiverState& s = StateOf(archiver);
  s.scanned_volume = nullptr;
  ReleaseBlock(s, &s.entries);
  s.entry_count = 0;
  if (Failed(AllocateBlock(s, &s.entries, uint64_t{kInitialEntrySlots} * sizeof(EntryRecord))))
    return ERR_NO_MEMORY;
  LocalHeaderRead read;
  for (uint32_t v = 0; v < s.volume_count; ++v) {
    VolumeRecord& volume = s.volumes[v];
    volume.entries = 0;
    const uint64_t volume_size = VolumeSize(volume.io);
    uint32_t position = volume.first_entry_offset;
    for (;;) {
      EntryRecord& slot = s.entries[s.entry_count];
      std::memset(&slot, 0, sizeof slot);  // the digest image includes the bytes after the name
      slot.header_offset = position;
      const uint32_t header_at = position;
      ResultCode result = ReadLocalHeader(volume.stream, &position, slot.fixed_header, slot.name, &read);
      if (result == ERR_END_OF_LIST) break;
      if (Failed(result)) {
        s.damaged = 1;
        break;
      }
      if (GoesOnFromPreviousVolume(EntryFlags(slot.fixed_header))) s.multi_volume = 1;
      slot.data_offset = static_cast<uint32_t>(position - PackedSize(slot.fixed_header));
      slot.volume = volume;
      slot.volume_index = v;
      SendEntryHeader(archiver, volume.io, s.entry_count, read);
      ++s.entry_count;
      ++volume.entries;
      result = ReserveEntrySlots(s, uint64_t{s.entry_count} + kFreeEntrySlots);
      if (Failed(result)) return result;
      // Headers only lead forward, and the data must lie within the volume;
      // otherwise the volume's scan ends here as damaged.
      if (position <= header_at || position > volume_size) {
        s.damaged = 1;
        break;
      }
    }
  }
  if (s.volume_count == 1) {
    s.scanned_volume = s.volumes[0].io;
    s.scanned_offset = s.volumes[0].first_entry_offset;
    s.scanned_entries = s.volumes[0].entries;
  }
  return RESULT_OK;
}

uint64_t DigestVolumeEntries(const EntryRecord* entries, ObjectRef digest, uint32_t volume_index,
                             uint32_t entry_count) {
  const DigestMethods& d = host::Digest(digest);
  // A digest that missed a step would tell two archives apart by nothing.
  ResultCode r = d.DigestReset(digest);
  for (uint32_t i = 0; i < entry_count && !Failed(r); ++i)
    if (entries[i].volume_index == volume_index) r = d.DigestUpdate(digest, &entries[i], kDigestImageSize);
  uint8_t out[kDigestOutputSize] = {};
  if (!Failed(r)) r = d.DigestFinal(digest, out, sizeof out);
  if (Failed(r)) return kNoArchiveDigest;
  uint64_t low = 0, high = 0;
  for (int i = 7; i >= 0; --i) {
    low = (low << 8) | out[i];
    high = (high << 8) | out[8 + i];
  }
  return low ^ high;
}
