#include "runtime/codecs/decode/stored_copy.h"

#include <algorithm>
#include <memory>
#include <new>

namespace arjrt {

ResultCode CopyStored(ByteSource& in, ByteSink& out, uint64_t size, uint64_t* written) {
  if (size == 0) return RESULT_OK;
  constexpr size_t kChunk = 64 * 1024;
  const std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[kChunk]);
  if (!buffer) return ERR_NO_MEMORY;
  uint64_t left = size;
  while (left != 0) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(left, kChunk));
    const int64_t got = in.Read(buffer.get(), want);
    if (got < 0) return static_cast<ResultCode>(got);
    if (got == 0) return ERR_END_OF_DATA;
    if (static_cast<uint64_t>(got) > want) return ERR_BAD_PARAMETER;  // the source broke its contract
    const ResultCode r = out.Write(buffer.get(), static_cast<size_t>(got));
    if (r < 0) return r;
    *written += static_cast<uint64_t>(got);
    left -= static_cast<uint64_t>(got);
  }
  return RESULT_OK;
}

}  // namespace arjrt
