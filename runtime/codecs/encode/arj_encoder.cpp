#include "runtime/codecs/encode/arj_encoder.h"

#include "runtime/codecs/encode/bit_writer.h"
#include "runtime/codecs/encode/fast_encoder.h"
#include "runtime/codecs/encode/lzh_encoder.h"
#include "runtime/codecs/encode/store_copy.h"

namespace arjrt {

ResultCode EncodeArjData(uint32_t method, ByteSource& in, ByteSink& out, uint64_t* packed_written,
                         uint64_t* unpacked_read) {
  uint64_t written = 0;
  uint64_t read = 0;
  ResultCode r = ERR_UNSUPPORTED;
  if (method == 0) {
    r = StoreCopy(in, out, &written, &read);
  } else if (method <= 4) {
    BitWriter bits(out);
    r = method == 4 ? EncodeFast(in, bits, &read) : EncodeLzh(method, in, bits, &read);
    // A read error wins; else the sink's error, if any, from the final flush.
    const ResultCode flushed = bits.Finish();
    if (!Failed(r)) r = flushed;
    written = bits.bytes_written();
  }
  if (packed_written != nullptr) *packed_written = written;
  if (unpacked_read != nullptr) *unpacked_read = read;
  return r;
}

}  // namespace arjrt
