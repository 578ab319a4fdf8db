// Walks of an ARJ volume's headers: its local headers in order, and the
// search for where an archive starts behind a stub.
#pragma once

#include <cstdint>
#include <functional>
#include <functional>
#include <vector>

#include "runtime/format/arj_header.h"

namespace arjrt {

// As many entries as the plug-in takes into one table.
constexpr uint64_t kMaxListedHeaders = 4'000'000;
// How far into a file a self-extracting archive's main header is looked for.
constexpr uint64_t kMainHeaderSearchLimit = uint64_t{1} << 20;

// Hands `visit` each local header after the main header at `main_offset`,
// in order, up to the end marker, the first damaged header or
// `max_headers` headers. Returns ERR_END_OF_LIST when the end marker was
// reached; else why the walk stopped: the code of the first header that
// could not be read (of the main header when nothing was visited), or
// ERR_LIMIT_EXCEEDED. `visited` (if given) receives the count.
using HeaderVisitor = std::function<void(const ArjHeader& header)>;
ResultCode WalkLocalHeaders(ObjectRef io, uint64_t main_offset, const HeaderVisitor& visit, uint64_t* visited = nullptr,
                            bool verify_crc = true, uint64_t max_headers = kMaxListedHeaders);

// Whether a header that parsed can open an archive: a main header asks for
// a version of at least 1 and no newer than the one that wrote it.
bool AcceptableMainHeader(const ArjHeader& header);

// The first offset below `limit` where a main header starts whose basic
// header is whole, within 2600 bytes, matches its CRC and is acceptable.
// Returns RESULT_OK with `offset` set, ERR_NOT_FOUND, or the I/O's error.
ResultCode FindMainHeader(ObjectRef io, uint64_t limit, uint64_t* offset);

// Takes or rejects a basic header that parsed whole with its CRC at `offset`.
using HeaderFilter = std::function<bool(const ArjHeader& basic, uint64_t offset)>;

// The first offset in [from, end) where a basic header parses whole, within
// 2600 bytes, with a matching CRC, and `accept` takes it. Reads `io` a
// fixed-size chunk at a time. Returns RESULT_OK with `offset` set,
// ERR_NOT_FOUND, or the I/O's error.
ResultCode FindHeader(ObjectRef io, uint64_t from, uint64_t end, const HeaderFilter& accept, uint64_t* offset);

}  // namespace arjrt
