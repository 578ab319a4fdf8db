#include "runtime/format/header_io.h"

#include <algorithm>
#include <cstring>

namespace arjrt {
namespace {

int64_t ReadFromIo(void* context, uint64_t offset, void* buffer, uint32_t size) {
  auto io = static_cast<ObjectRef>(context);
  uint32_t count = 0;
  const ResultCode result = host::Io(io).SeekRead(io, &count, offset, buffer, size);
  if (Failed(result) && result != ERR_END_OF_DATA) return result;
  return std::min(count, size);
}

}  // namespace

arjhost::format::ByteReader ReaderOf(ObjectRef io) { return {io, ReadFromIo}; }

int64_t ReadAhead::Read(void* context, uint64_t offset, void* buffer, uint32_t size) {
  auto* self = static_cast<ReadAhead*>(context);
  const bool held = offset >= self->start_ && offset - self->start_ <= self->held_ &&
                    size <= self->held_ - (offset - self->start_);
  if (!held) {
    if (size >= kBlock) return ReadFromIo(self->io_, offset, buffer, size);
    const bool follows_on = offset >= self->start_ && offset - self->start_ <= self->held_;
    const uint32_t block = follows_on || size > kJumpBlock ? kBlock : kJumpBlock;
    self->block_.resize(kBlock);
    const int64_t got = ReadFromIo(self->io_, offset, self->block_.data(), block);
    self->start_ = offset;
    self->held_ = got < 0 ? 0 : static_cast<size_t>(got);
    if (got < 0) return got;
  }
  // What the block holds of the range: all of it, or what the data had.
  const size_t at = static_cast<size_t>(offset - self->start_);
  const size_t n = std::min<size_t>(size, self->held_ - at);
  std::memcpy(buffer, self->block_.data() + at, n);
  return static_cast<int64_t>(n);
}

ResultCode FindMainHeader(ObjectRef io, uint64_t limit, uint64_t* offset) {
  const arjhost::format::SearchEnd end = arjhost::format::FindMainHeader(ReaderOf(io), limit);
  if (end.read_error != 0) return end.read_error;
  if (!end.found) return ERR_NOT_FOUND;
  *offset = end.offset;
  return RESULT_OK;
}

ResultCode PlanRecovery(ObjectRef io, uint64_t size, arjhost::format::RecoveryPlan* plan) {
  *plan = arjhost::format::PlanRecovery(ReaderOf(io), size);
  if (plan->main_header == arjhost::format::HeaderCause::kReadFailed) return plan->read_error;
  return plan->main_header == arjhost::format::HeaderCause::kHeader ? RESULT_OK : ERR_CORRUPTED;
}

}  // namespace arjrt
