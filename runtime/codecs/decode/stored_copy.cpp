#include "runtime/codecs/decode/stored_copy.h"

#include <algorithm>
#include <memory>
#include <new>

#include "runtime/codecs/decode/source_reads.h"

namespace arjrt {

ResultCode CopyStored(ByteSource& in, ByteSink& out, uint64_t size, uint64_t* written, uint64_t* unused) {
  constexpr size_t kChunk = 64 * 1024;
  const std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kChunk]);
  if (!buffer) return ERR_NO_MEMORY;
  uint64_t left = size;
  while (left != 0) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(left, kChunk));
    const int64_t got = ReadChecked(in, buffer.get(), want);
    if (got < 0) return static_cast<ResultCode>(got);
    if (got == 0) return ERR_END_OF_DATA;
    const ResultCode r = out.Write(buffer.get(), static_cast<size_t>(got));
    if (r < 0) return r;
    *written += static_cast<uint64_t>(got);
    left -= static_cast<uint64_t>(got);
  }
  uint64_t rest = 0;
  const ResultCode r = CountRestOfSource(in, buffer.get(), kChunk, &rest);
  if (r < 0) return r;
  if (rest == 0) return RESULT_OK;
  *unused = rest;
  return ERR_CORRUPTED;
}

}  // namespace arjrt
