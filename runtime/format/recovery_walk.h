// Recovery of a damaged archive: a walk of its headers that, where one
// cannot be read, searches forward for the next sound local header and
// goes on from there. Only the walk's plan is made here; the plug-in is
// later handed the archive without the skipped ranges.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/host/host_objects.h"

namespace arjrt {

struct SkippedRange {
  uint64_t offset = 0;  // in the I/O walked
  uint64_t size = 0;
  std::string cause;    // what was wrong at `offset`
};

// Damaged places beyond this count are not searched past: the rest of the
// file is skipped as one range.
constexpr size_t kMaxSkippedRanges = 4096;

struct RecoveryPlan {
  // RESULT_OK once the main header at offset 0 was read; without it there
  // is nothing to recover from, and `skipped` is empty.
  ResultCode main_header = RESULT_OK;
  std::vector<SkippedRange> skipped;  // in file order, never overlapping
};

// Walks the headers of `io` (`size` bytes, the main header at offset 0).
// A local header is sound when its id, basic size (at most 2600), basic
// header CRC and extended headers are right and its packed data ends within
// the file; a damaged one is skipped up to the next sound local header, or
// to the end. The search reads a fixed-size chunk at a time and stops at
// `size`.
RecoveryPlan PlanRecovery(ObjectRef io, uint64_t size);

}  // namespace arjrt
