#include "runtime/codecs/encode/lzh_encoder.h"

#include "runtime/codecs/encode/lazy_parser.h"
#include "runtime/codecs/encode/lzh_block_writer.h"

namespace arjrt {

namespace {

LazyParseParams ParamsFor(uint32_t method) {
  switch (method) {
    case 1: return {256, 256, 256, 4096};
    case 2: return {64, 128, 64, 4096};
    default: return {16, 32, 16, 4096};
  }
}
}  // namespace

ResultCode EncodeLzh(uint32_t method, ByteSource& in, BitWriter& bits, uint64_t* bytes_read) {
  MatchFinder mf(in, lzh::kMaxDistance);
  LzhBlockWriter writer(bits);
  const ResultCode r = LazyParse(mf, ParamsFor(method), writer);
  writer.Flush();
  *bytes_read = mf.bytes_read();
  return r;
}

}  // namespace arjrt
