#include "runtime/codecs/encode/lzh_encoder.h"

#include "runtime/codecs/encode/lazy_parser.h"
#include "runtime/codecs/encode/lzh_block_writer.h"
#include "runtime/codecs/encode/optimal_parser.h"
#include "runtime/codecs/encode/tree_match_finder.h"

namespace arjrt {

namespace {

// Method 1. Deeper trees gain next to nothing on typical data.
constexpr uint32_t kTreeDepth = 32;
constexpr uint32_t kNiceLength = 128;

// Methods 2 and 3: hash chains and lazy matching, method 3 with shorter
// chains and coarser block decisions.
struct ChainEffort {
  uint32_t depth;
  uint32_t good_enough;
  uint32_t lazy_below;
  size_t block_chunk;
};
constexpr ChainEffort kMethod2{64, 256, 64, 1024};
constexpr ChainEffort kMethod3{40, 128, 32, 2048};
// Beyond this distance a 3-byte match costs more than its literals.
constexpr uint32_t kFarMin3 = 4096;
constexpr size_t kMethod1BlockChunk = 1024;

}  // namespace

ResultCode EncodeLzh(uint32_t method, ByteSource& in, BitWriter& bits, uint64_t* bytes_read) {
  ResultCode r;
  if (method == 1) {
    LzhBlockWriter writer(bits, kMethod1BlockChunk);
    TreeMatchFinder mf(in, lzh::kMaxDistance, kTreeDepth);
    r = OptimalParse(mf, kNiceLength, writer);
    writer.Flush();
    *bytes_read = mf.bytes_read();
  } else {
    const ChainEffort& e = method == 2 ? kMethod2 : kMethod3;
    LzhBlockWriter writer(bits, e.block_chunk);
    MatchFinder mf(in, lzh::kMaxDistance, e.depth, e.good_enough);
    r = LazyParse(mf, LazyParseParams{e.lazy_below, kFarMin3}, writer);
    writer.Flush();
    *bytes_read = mf.bytes_read();
  }
  return r;
}

}  // namespace arjrt
