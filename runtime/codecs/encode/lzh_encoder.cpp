#include "runtime/codecs/encode/lzh_encoder.h"

#include "runtime/codecs/encode/lazy_parser.h"
#include "runtime/codecs/encode/lzh_block_writer.h"
#include "runtime/codecs/encode/optimal_parser.h"
#include "runtime/codecs/encode/tree_match_finder.h"

namespace arjrt {

namespace {

// Methods 1 and 2: optimal parsing over binary-tree matches, method 2 with
// shallower trees and an earlier stop. Measured on 64 MiB of mixed files,
// both pack at least as well as arj with the same method.
struct TreeEffort {
  uint32_t depth;
  uint32_t nice_length;
};
constexpr TreeEffort kMethod1{8, 48};
constexpr TreeEffort kMethod2{7, 32};

// Method 3: hash chains and lazy matching, the look-ahead searching less
// deep. Within arj's -m3 ratio and ahead of it in time on the same files.
constexpr uint32_t kMethod3Depth = 48;
constexpr uint32_t kMethod3LazyDepth = 16;
constexpr uint32_t kMethod3GoodEnough = 256;
constexpr uint32_t kMethod3LazyBelow = 64;
// Beyond this distance a 3-byte match costs more than its literals.
constexpr uint32_t kFarMin3 = 4096;
// Literals in a row before the searches thin out (random or packed data).
constexpr uint32_t kSparseAfter = 128;
// Codes per block-boundary decision: finer chunks gain nothing measurable.
constexpr size_t kBlockChunk = 4096;

}  // namespace

ResultCode EncodeLzh(uint32_t method, ByteSource& in, BitWriter& bits, uint64_t* bytes_read) {
  ResultCode r;
  LzhBlockWriter writer(bits, kBlockChunk);
  if (method == 1 || method == 2) {
    const TreeEffort& e = method == 1 ? kMethod1 : kMethod2;
    TreeMatchFinder mf(in, lzh::kMaxDistance, e.depth);
    r = OptimalParse(mf, e.nice_length, kSparseAfter, writer);
    *bytes_read = mf.bytes_read();
  } else {
    MatchFinder mf(in, lzh::kMaxDistance, kMethod3Depth, kMethod3GoodEnough);
    const LazyParseParams params{kMethod3LazyBelow, kFarMin3, kMethod3Depth, kMethod3LazyDepth, kSparseAfter};
    r = LazyParse(mf, params, writer);
    *bytes_read = mf.bytes_read();
  }
  writer.Flush();
  return r;
}

}  // namespace arjrt
