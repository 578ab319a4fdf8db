// The runtime's I/O objects as the format module reads them: its header
// walks, the search behind a stub and the recovery plan read through
// these.
#pragma once

#include <cstdint>
#include <vector>

#include "plugin/format/header_walk.h"
#include "plugin/host/host_objects.h"

namespace arjrt {

// Reads through `io`'s positional SeekRead: a short read delivers its
// count, and only a failure other than the end of the data is an error.
arjhost::format::ByteReader ReaderOf(ObjectRef io);

// The same, reading ahead a block at a time: a walk's small reads of the
// headers that follow one another become a few reads of the file. A read
// that jumps past the block (over an entry's data) loads a small one, so
// that a header between large entries costs a page rather than a block.
class ReadAhead {
 public:
  explicit ReadAhead(ObjectRef io) : io_(io) {}
  arjhost::format::ByteReader reader() { return {this, Read}; }

 private:
  static constexpr uint32_t kBlock = 64 * 1024;
  static constexpr uint32_t kJumpBlock = 4 * 1024;
  static int64_t Read(void* context, uint64_t offset, void* buffer, uint32_t size);

  ObjectRef io_;
  std::vector<uint8_t> block_;
  uint64_t start_ = 0;  // where the block's bytes came from
  size_t held_ = 0;     // how many of them the read gave (fewer at the end of the data)
};

// Where the main header of the archive in `io` starts within `limit`:
// RESULT_OK with `offset` set, ERR_NOT_FOUND, or the I/O's error.
[[nodiscard]] ResultCode FindMainHeader(ObjectRef io, uint64_t limit, uint64_t* offset);

// The format module's plan for `io` (`size` bytes), and RESULT_OK, or why
// there is nothing to recover from (the I/O's error, or ERR_CORRUPTED for
// a main header that cannot be read).
[[nodiscard]] ResultCode PlanRecovery(ObjectRef io, uint64_t size, arjhost::format::RecoveryPlan* plan);

}  // namespace arjrt
