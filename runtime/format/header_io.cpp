#include "runtime/format/header_io.h"

#include <algorithm>

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
