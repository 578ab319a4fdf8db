#include "runtime/format/recovery_walk.h"

#include <algorithm>

#include "runtime/format/arj_header.h"
#include "runtime/format/header_list.h"

namespace arjrt {
namespace {

constexpr uint8_t kFileTypeMainHeader = 2;

bool DataFits(const ArjHeader& header, uint64_t size) {
  return header.data_offset <= size && header.packed_size <= size - header.data_offset;
}

// Whether the header at `offset` reads whole and its data lies in the file.
bool SoundHeader(ObjectRef io, uint64_t offset, uint64_t size, ArjHeader* header) {
  return ReadHeader(io, offset, true, header) == RESULT_OK && DataFits(*header, size);
}

// Why the header at `offset` could not be read (`result` says how it failed).
std::string CauseAt(ObjectRef io, uint64_t offset, ResultCode result) {
  if (result == ERR_NOT_RECOGNIZED) return "no header id";
  if (result == ERR_END_OF_DATA) return "header runs past the end of the file";
  uint8_t prefix[kMaxHeaderPrefix];
  uint32_t count = 0;
  host::Io(io).SeekRead(io, &count, offset, prefix, sizeof prefix);
  count = std::min<uint32_t>(count, sizeof prefix);
  if (count >= 4) {
    const uint32_t basic_size = prefix[2] | (uint32_t{prefix[3]} << 8);
    if (basic_size > kMaxBasicHeaderSize)
      return "basic header size " + std::to_string(basic_size) + " over " + std::to_string(kMaxBasicHeaderSize);
  }
  ArjHeader header;
  if (ParseBasicHeader(prefix, count, false, &header) != RESULT_OK) return "malformed header";
  if (ParseBasicHeader(prefix, count, true, &header) != RESULT_OK) return "header CRC mismatch";
  return "extended header damaged";
}

bool IsIoError(ResultCode r) {
  return Failed(r) && r != ERR_NOT_RECOGNIZED && r != ERR_END_OF_DATA && r != ERR_CORRUPTED;
}

}  // namespace

RecoveryPlan PlanRecovery(ObjectRef io, uint64_t size) {
  RecoveryPlan plan;
  ArjHeader header;
  ResultCode result = ReadHeader(io, 0, true, &header);
  if (result != RESULT_OK) {
    plan.main_header = result == ERR_END_OF_LIST ? ERR_CORRUPTED : result;
    return plan;
  }
  // The search takes no main header: one inside a damaged entry's data
  // belongs to an archive stored there, not to this one.
  const auto sound = [io, size](const ArjHeader& basic, uint64_t offset) {
    ArjHeader full;
    return basic.file_type != kFileTypeMainHeader && SoundHeader(io, offset, size, &full);
  };
  // Every turn moves `at` forward: past a sound entry's data, or to a
  // later offset found by the search.
  uint64_t at = header.data_offset;
  while (at < size) {
    result = ReadHeader(io, at, true, &header);
    if (result == ERR_END_OF_LIST || IsIoError(result)) break;
    std::string cause;
    if (result == RESULT_OK) {
      if (DataFits(header, size)) {
        at = header.NextOffset();
        continue;
      }
      cause = "packed data runs past the end of the file";
    } else {
      cause = CauseAt(io, at, result);
    }
    uint64_t next = size;
    if (plan.skipped.size() + 1 < kMaxSkippedRanges) {
      if (FindHeader(io, at + 1, size, sound, &next) != RESULT_OK) next = size;
    } else {
      cause += "; too many damaged places to search further";
    }
    plan.skipped.push_back({at, next - at, std::move(cause)});
    at = next;
  }
  return plan;
}

}  // namespace arjrt
