#include "plugin/rebuild/copyable_archive.h"

#include "plugin/format/arj_layout.h"
#include "plugin/format/split_chain.h"

using namespace arjhost::format;

namespace {

// The shortest stored header: fixed part up to the basic header's end,
// header CRC, and the extended headers' terminating size word.
uint64_t ShortestHeaderSpan(const uint8_t* fixed) {
  return 4 + uint64_t{LoadWord(fixed + fixed_header::kBasicHeaderSize)} + 4 + 2;
}

[[nodiscard]] ResultCode CheckEntry(const ArchiverState& s, const EntryRecord& e, uint64_t archive_size) {
  if (e.volume_index != 0 || e.volume.io != s.archive_io) return ERR_UNSUPPORTED;
  if (IsPartOfSplitFile(EntryFlags(e.fixed_header))) return ERR_UNSUPPORTED;
  // A header offset of 0 is what the volume chain leaves for an entry it
  // attached; no local header lies inside the main header.
  if (e.header_offset == 0 || e.header_offset < s.main_header_length) return ERR_CORRUPTED;
  if (e.data_offset <= e.header_offset) return ERR_CORRUPTED;
  const uint64_t span = e.data_offset - e.header_offset;
  if (span < ShortestHeaderSpan(e.fixed_header)) return ERR_CORRUPTED;
  const uint64_t packed = PackedSize(e.fixed_header);
  if (e.data_offset > archive_size || packed > archive_size - e.data_offset) return ERR_CORRUPTED;
  return RESULT_OK;
}

}  // namespace

ResultCode CheckCopyableArchive(const ArchiverState& s) {
  if (s.archive_io == nullptr || s.main_header == nullptr || s.main_header_length == 0) return ERR_NOT_INITIALIZED;
  if (s.entry_count != 0 && s.entries == nullptr) return ERR_NOT_INITIALIZED;
  if (s.multi_volume) return ERR_UNSUPPORTED;
  uint64_t archive_size = 0;
  ResultCode r = host::Io(s.archive_io).GetSize(s.archive_io, &archive_size, 0);
  if (Failed(r)) return r;
  if (s.main_header_length > archive_size) return ERR_CORRUPTED;
  for (uint32_t i = 0; i < s.entry_count; ++i)
    if (Failed(r = CheckEntry(s, s.entries[i], archive_size))) return r;
  return RESULT_OK;
}
