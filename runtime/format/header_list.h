// Walks of an ARJ volume's headers: its local headers in order, and the
// search for where an archive starts behind a stub.
#pragma once

#include <cstdint>
#include <functional>

#include "runtime/format/arj_header.h"

namespace arjrt {

// How far into a file a self-extracting archive's main header is looked for.
constexpr uint64_t kMainHeaderSearchLimit = uint64_t{1} << 20;

// How a walk of a volume's headers ended.
struct WalkEnd {
  HeaderCause cause = HeaderCause::kEndMarker;  // kEndMarker: the walk reached the end marker
  ArjHeader header;                             // what was read where the walk stopped
  ResultCode io_error = RESULT_OK;
  uint64_t visited = 0;                         // local headers handed to the visitor
  bool main_header = false;                     // the walk stopped at the main header
  bool main_crc_matches = true;                 // the main header matched its CRCs
  bool limit_reached = false;                   // stopped after `max_headers` headers
};

// Hands `visit` each local header after the main header at `main_offset`,
// in order, read under `policy`, up to the end marker, the first header
// that cannot be read, or `max_headers` headers.
using HeaderVisitor = std::function<void(const ArjHeader& header)>;
WalkEnd WalkLocalHeaders(ObjectRef io, uint64_t main_offset, const HeaderPolicy& policy, const HeaderVisitor& visit,
                         uint64_t max_headers = kMaxEntries);

// Whether a header that parsed can open an archive: a main header asks for
// a version of at least 1 and no newer than the one that wrote it.
bool AcceptableMainHeader(const ArjHeader& header);

// The first offset below `limit` where a main header starts whose basic
// header is whole, matches its CRC and is acceptable. Returns RESULT_OK
// with `offset` set, ERR_NOT_FOUND, or the I/O's error.
[[nodiscard]] ResultCode FindMainHeader(ObjectRef io, uint64_t limit, uint64_t* offset);

// Takes or rejects a basic header that parsed whole with its CRC at `offset`.
using HeaderFilter = std::function<bool(const ArjHeader& basic, uint64_t offset)>;

// The first offset in [from, end) where a basic header parses whole with a
// matching CRC and `accept` takes it. Reads `io` a fixed-size chunk at a
// time. Returns RESULT_OK with `offset` set, ERR_NOT_FOUND, or the I/O's
// error.
[[nodiscard]] ResultCode FindHeader(ObjectRef io, uint64_t from, uint64_t end, const HeaderFilter& accept,
                                    uint64_t* offset);

}  // namespace arjrt
