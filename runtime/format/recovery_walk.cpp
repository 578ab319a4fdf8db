#include "runtime/format/recovery_walk.h"

#include "runtime/format/arj_header.h"
#include "runtime/format/header_list.h"

namespace arjrt {
namespace {

bool DataFits(const ArjHeader& header, uint64_t size) {
  return header.data_offset <= size && header.packed_size <= size - header.data_offset;
}

// Whether the header at `offset` reads whole and its data lies in the file.
bool SoundHeader(ObjectRef io, uint64_t offset, uint64_t size, ArjHeader* header) {
  return ReadHeaderAt(io, offset, HeaderRole::kLocal, kSoundPolicy, header) == HeaderCause::kHeader &&
         DataFits(*header, size);
}

}  // namespace

RecoveryPlan PlanRecovery(ObjectRef io, uint64_t size) {
  RecoveryPlan plan;
  ArjHeader header;
  ResultCode io_error = RESULT_OK;
  HeaderCause cause = ReadHeaderAt(io, 0, HeaderRole::kMain, kSoundPolicy, &header, &io_error);
  if (cause != HeaderCause::kHeader) {
    plan.main_header = cause == HeaderCause::kReadFailed ? io_error : ERR_CORRUPTED;
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
  uint64_t at = header.next_offset;
  while (at < size) {
    cause = ReadHeaderAt(io, at, HeaderRole::kLocal, kSoundPolicy, &header, &io_error);
    if (cause == HeaderCause::kEndMarker || cause == HeaderCause::kReadFailed) break;
    std::string why;
    if (cause == HeaderCause::kHeader) {
      if (DataFits(header, size)) {
        at = header.next_offset;
        continue;
      }
      why = "packed data runs past the end of the file";
    } else {
      why = DescribeHeaderCause(cause, header, io_error);
    }
    uint64_t next = size;
    if (plan.skipped.size() + 1 < kMaxSkippedRanges) {
      if (FindHeader(io, at + 1, size, sound, &next) != RESULT_OK) next = size;
    } else {
      why += "; too many damaged places to search further";
    }
    plan.skipped.push_back({at, next - at, std::move(why)});
    at = next;
  }
  return plan;
}

}  // namespace arjrt
