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
