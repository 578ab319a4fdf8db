// Method 1: parses each segment of the input by shortest path over the
// matches found at every position, priced by the Huffman code lengths the
// segment's own statistics give (estimated from a first pass).
#pragma once

#include <cstdint>

#include "runtime/codecs/encode/lzh_block_writer.h"
#include "runtime/codecs/encode/match_finder.h"

namespace arjrt {

// nice_length: a match this long is taken without searching inside it.
[[nodiscard]] ResultCode OptimalParse(MatchFinder& mf, uint32_t nice_length, uint32_t sparse_after,
                                      LzhBlockWriter& out);

}  // namespace arjrt
