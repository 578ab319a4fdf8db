#include "plugin/rebuild/copy_range.h"

#include "plugin/format/crc32.h"

using namespace arjhost::format;

ResultCode CopyRange(uint8_t* buffer, ObjectRef source, uint64_t offset, uint64_t size, OutputStream& out,
                     uint32_t* crc) {
  const StreamMethods& m = host::Stream(source);
  uint64_t copied = 0;
  while (copied < size) {
    const uint64_t left = size - copied;
    const uint32_t wanted = left < kCopyChunk ? static_cast<uint32_t>(left) : kCopyChunk;
    uint32_t count = 0;
    ResultCode r = m.SeekRead(source, &count, offset + copied, buffer, wanted);
    if (Failed(r) && r != ERR_END_OF_DATA) return r;
    if (count != wanted) return ERR_CORRUPTED;
    if (crc != nullptr) *crc = Crc32Update(count, buffer, *crc);
    if (Failed(r = WriteBytes(out, buffer, count))) return r;
    copied += count;
  }
  return RESULT_OK;
}

void AskForHostCopier(KeptBytes& kept) {
  // A host without the interface refuses to make the object: nothing is
  // lost but speed.
  if (Failed(host::CreateObjectQuick(kept.source, &kept.host_copier, IID_RANGE_COPY, PID_DEFAULT)))
    kept.host_copier = nullptr;
}

void CloseHostCopier(KeptBytes& kept) { host::CloseIfOpen(kept.host_copier); }

ResultCode CopyKeptRange(KeptBytes& kept, uint64_t offset, uint64_t size, OutputStream& out) {
  uint64_t copied = 0;
  if (kept.host_copier != nullptr && size != 0) {
    const ResultCode r = host::RangeCopy(kept.host_copier).CopyTo(kept.host_copier, out.stream, offset, size, &copied);
    // What the host claims beyond the range is no copy it made.
    if (copied > size) return ERR_IO;
    out.position += copied;
    if (r == ERR_UNSUPPORTED) CloseHostCopier(kept);
    else if (Failed(r)) return r;
  }
  return CopyRange(kept.buffer, kept.source, offset + copied, size - copied, out);
}
