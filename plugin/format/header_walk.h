// Walks of a volume's headers through a ByteReader: its local headers in
// order, the search for a header among other bytes (where an archive
// starts behind a stub, or the next sound header after damage), and the
// plan of a recovery that skips what cannot be read.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "plugin/format/arj_layout.h"
#include "plugin/format/header_fields.h"

namespace arjhost::format {

// How far into a file a self-extracting archive's main header is looked for.
constexpr uint64_t kMainHeaderSearchLimit = uint64_t{1} << 20;

// How a walk of a volume's headers ended.
struct WalkEnd {
  HeaderCause cause = HeaderCause::kEndMarker;  // kEndMarker: the walk reached the end marker
  HeaderFields header;                          // what was read where the walk stopped
  int32_t read_error = 0;
  uint64_t visited = 0;          // local headers handed to the visitor
  bool main_header = false;      // the walk stopped at the main header
  bool main_crc_matches = true;  // the main header matched its CRCs
  bool limit_reached = false;    // stopped after `max_headers` headers
};

// Hands `visit` each local header from `first_local`, in order, read under
// `policy`, up to the end marker, the first header that cannot be read, or
// `max_headers` headers.
using HeaderVisitor = std::function<void(const HeaderFields& header)>;
WalkEnd WalkLocalHeadersFrom(const ByteReader& reader, uint64_t first_local, const HeaderPolicy& policy,
                             const HeaderVisitor& visit, uint64_t max_headers = kMaxEntries);
// The same after the main header at `main_offset`, which is read first.
WalkEnd WalkLocalHeaders(const ByteReader& reader, uint64_t main_offset, const HeaderPolicy& policy,
                         const HeaderVisitor& visit, uint64_t max_headers = kMaxEntries);

// Where a search ended: `found` with its offset, or the reader's error.
struct SearchEnd {
  bool found = false;
  uint64_t offset = 0;
  int32_t read_error = 0;
};

// Takes or rejects a basic header that parsed whole with a matching CRC
// (`bytes` from its header id on).
using HeaderFilter = std::function<bool(const uint8_t* bytes, const HeaderFacts& facts)>;

// The first offset in [from, end) where a basic header parses whole with a
// matching CRC and `accept` takes it, read a fixed-size chunk at a time.
SearchEnd FindHeader(const ByteReader& reader, uint64_t from, uint64_t end, const HeaderFilter& accept);

// Behind a stub: the first header below `limit` that is whole with its
// CRC, as arj takes the first such header there; found only when
// AcceptableMainHeader takes it. (Passing over a refused main header would
// take an entry's header for it, and list the archive short of its first
// entries.)
SearchEnd FindMainHeader(const ByteReader& reader, uint64_t limit);

// A damaged range that recovery leaves out, and why.
struct SkippedRange {
  uint64_t offset = 0;  // in the bytes walked
  uint64_t size = 0;
  std::string cause;  // what was wrong at `offset`
};

// Damaged places beyond this count are not searched past: the rest of the
// bytes are skipped as one range.
constexpr size_t kMaxSkippedRanges = 4096;

struct RecoveryPlan {
  // kHeader once the main header at offset 0 was read; without it there
  // is nothing to recover from, and `skipped` is empty.
  HeaderCause main_header = HeaderCause::kHeader;
  int32_t read_error = 0;  // on kReadFailed
  std::vector<SkippedRange> skipped;  // in order, never overlapping
};

// Walks the headers of `size` bytes (the main header at offset 0). A local
// header is sound when its id, basic size, basic header CRC and extended
// headers are right and its packed data ends within the bytes; a damaged
// one is skipped up to the next sound local header, or to the end. One
// that fails only its CRC is not skipped when a sound header or the end
// marker follows its data: its entry is read, and fails for its header.
// An end marker followed by a sound local header is skipped up to it (a
// header whose size was zeroed reads as one).
RecoveryPlan PlanRecovery(const ByteReader& reader, uint64_t size);

}  // namespace arjhost::format
