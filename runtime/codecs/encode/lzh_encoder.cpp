#include "runtime/codecs/encode/lzh_encoder.h"

#include "runtime/codecs/encode/lazy_parser.h"
#include "runtime/codecs/encode/lzh_block_writer.h"
#include "runtime/codecs/encode/optimal_parser.h"
#include "runtime/codecs/encode/tree_match_finder.h"

namespace arjrt {

namespace {

// Methods 1 and 2: optimal parsing over binary-tree matches, method 2 with
// shallower trees and an earlier stop. Deeper trees gain next to nothing on
// typical data.
struct TreeEffort {
  uint32_t depth;
  uint32_t nice_length;
};
constexpr TreeEffort kMethod1{32, 128};
constexpr TreeEffort kMethod2{8, 48};

// Method 3: hash chains and lazy matching.
struct ChainEffort {
  uint32_t depth;
  uint32_t good_enough;
  uint32_t lazy_below;
  size_t block_chunk;
};
constexpr ChainEffort kMethod3{64, 256, 64, 1024};
// Beyond this distance a 3-byte match costs more than its literals.
constexpr uint32_t kFarMin3 = 4096;
constexpr size_t kTreeBlockChunk = 1024;

}  // namespace

ResultCode EncodeLzh(uint32_t method, ByteSource& in, BitWriter& bits, uint64_t* bytes_read) {
  ResultCode r;
  if (method == 1 || method == 2) {
    const TreeEffort& e = method == 1 ? kMethod1 : kMethod2;
    LzhBlockWriter writer(bits, kTreeBlockChunk);
    TreeMatchFinder mf(in, lzh::kMaxDistance, e.depth);
    r = OptimalParse(mf, e.nice_length, writer);
    writer.Flush();
    *bytes_read = mf.bytes_read();
  } else {
    LzhBlockWriter writer(bits, kMethod3.block_chunk);
    MatchFinder mf(in, lzh::kMaxDistance, kMethod3.depth, kMethod3.good_enough);
    r = LazyParse(mf, LazyParseParams{kMethod3.lazy_below, kFarMin3}, writer);
    writer.Flush();
    *bytes_read = mf.bytes_read();
  }
  return r;
}

}  // namespace arjrt
