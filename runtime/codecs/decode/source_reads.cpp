#include "runtime/codecs/decode/source_reads.h"

namespace arjrt {

int64_t ReadChecked(ByteSource& source, uint8_t* buffer, size_t size) {
  const int64_t got = source.Read(buffer, size);
  return got > 0 && static_cast<uint64_t>(got) > size ? ERR_BAD_PARAMETER : got;
}

ResultCode CountRestOfSource(ByteSource& source, uint8_t* scratch, size_t size, uint64_t* count) {
  for (;;) {
    const int64_t got = ReadChecked(source, scratch, size);
    if (got < 0) return static_cast<ResultCode>(got);
    if (got == 0) return RESULT_OK;
    *count += static_cast<uint64_t>(got);
  }
}

}  // namespace arjrt
