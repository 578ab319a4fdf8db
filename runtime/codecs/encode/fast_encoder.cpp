#include "runtime/codecs/encode/fast_encoder.h"

#include "runtime/codecs/encode/fast_writer.h"
#include "runtime/codecs/encode/lazy_parser.h"

namespace arjrt {

ResultCode EncodeFast(ByteSource& in, BitWriter& bits, uint64_t* bytes_read) {
  // Short chains keep this at least as fast as the method is meant to be.
  MatchFinder mf(in, lzh::kFastMaxDistance, 1, 16);
  FastWriter writer(bits);
  // Every match beats its literals in this format, so no distance cut-off.
  const LazyParseParams params{0, lzh::kFastMaxDistance};  // no lazy look-ahead
  const ResultCode r = LazyParse(mf, params, writer);
  *bytes_read = mf.bytes_read();
  return r;
}

}  // namespace arjrt
