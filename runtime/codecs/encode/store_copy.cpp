#include "runtime/codecs/encode/store_copy.h"

#include <vector>

#include "plugin/format/crc32.h"

namespace arjrt {

ResultCode StoreCopy(ByteSource& in, ByteSink& out, uint64_t* written, uint64_t* bytes_read, uint32_t* crc) {
  std::vector<uint8_t> chunk(64 * 1024);
  for (;;) {
    const int64_t got = in.Read(chunk.data(), chunk.size());
    if (got < 0) return static_cast<ResultCode>(got);
    if (got == 0) return RESULT_OK;
    if (static_cast<uint64_t>(got) > chunk.size()) return ERR_BAD_PARAMETER;
    *bytes_read += static_cast<uint64_t>(got);
    *crc = arjhost::format::Crc32Update(static_cast<size_t>(got), chunk.data(), *crc);
    const ResultCode r = out.Write(chunk.data(), static_cast<size_t>(got));
    if (Failed(r)) return r;
    *written += static_cast<uint64_t>(got);
  }
}

}  // namespace arjrt
