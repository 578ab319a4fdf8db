// Greedy / one-step lazy LZ77 parsing, shared by the LZH method 3 and
// the fast method 4, over a MatchFinder. The
// emitter receives Literal(uint8_t) and Copy(length, distance) calls and
// reports through ok() whether its output still goes anywhere.
#pragma once

#include <algorithm>
#include <cstdint>

#include "runtime/codecs/encode/match_finder.h"

namespace arjrt {

struct LazyParseParams {
  uint32_t lazy_below;    // try the next position only for matches shorter than this (0: greedy)
  uint32_t far_min3;      // a 3-byte match farther than this is worth less than its literals
  uint32_t depth;         // chain links per search
  uint32_t lazy_depth;    // chain links of the look-ahead search, which needs a longer match only
  uint32_t sparse_after;  // literals in a row before the search thins out
};

// Past sparse_after literals in a row, every search is followed by one
// unsearched literal more per 2^kSparseGrowthShift literals, up to kSparseMaxPass.
constexpr uint32_t kSparseGrowthShift = 4;
constexpr uint32_t kSparseMaxPass = 32;

// Rough value of a match for the lazy choice: each byte saves a few bits,
// each doubling of the distance costs one. No match is worth least.
inline int32_t Worth(const Match& m) {
  if (m.length < lzh::kMinMatch) return INT32_MIN / 2;
  return static_cast<int32_t>(4 * m.length) - (32 - __builtin_clz(m.distance));
}

// Taking the next position's match costs the literal before it.
constexpr int32_t kLiteralPenalty = 2;

template <class Finder, class Emitter>
[[nodiscard]] ResultCode LazyParse(Finder& mf, const LazyParseParams& p, Emitter& emit) {
  ResultCode r = RESULT_OK;
  uint8_t byte = 0;  // at the position `cur` was found for
  // Searches at the cursor and moves past it.
  auto search = [&](uint32_t longer_than, uint32_t depth) {
    byte = *mf.cursor();
    Match m = mf.FindLongerAndAdvance(longer_than, depth);
    if (m.length == lzh::kMinMatch && m.distance > p.far_min3) m.length = 0;
    return m;
  };
  if (Failed(r = mf.Refill()) || mf.lookahead() == 0) return r;
  Match cur = search(lzh::kMinMatch - 1, p.depth);
  uint32_t misses = 0;  // literals in a row
  for (;;) {
    if (!emit.ok()) return RESULT_OK;  // the sink failed: the caller reports that
    uint32_t skip = 0;  // positions of cur still to pass
    if (cur.length < lzh::kMinMatch) {
      emit.Literal(byte);
      // Data without matches (packed or random) is searched ever more
      // sparsely; the bytes passed over go out as literals, unsearched.
      if (++misses > p.sparse_after) {
        uint32_t pass = std::min((misses - p.sparse_after) >> kSparseGrowthShift, kSparseMaxPass);
        for (; pass != 0; --pass) {
          if (Failed(r = mf.Refill())) return r;
          if (mf.lookahead() == 0) return RESULT_OK;
          emit.Literal(*mf.cursor());
          mf.Skip();
        }
      }
    } else {
      misses = 0;
      skip = cur.length - 1;
      if (cur.length < p.lazy_below) {
        // A match leaves at least two bytes ahead, so there is a next position.
        if (Failed(r = mf.Refill())) return r;
        const uint8_t first = byte;
        const Match next = search(cur.length - 1, p.lazy_depth);
        if (Worth(next) > Worth(cur) + kLiteralPenalty) {
          emit.Literal(first);
          cur = next;
          continue;
        }
        --skip;
      }
      emit.Copy(cur.length, cur.distance);
      for (; skip != 0; --skip) {
        if (Failed(r = mf.Refill())) return r;
        mf.SkipAndAdvance();
      }
    }
    if (Failed(r = mf.Refill())) return r;
    if (mf.lookahead() == 0) return RESULT_OK;
    cur = search(lzh::kMinMatch - 1, p.depth);
  }
}

}  // namespace arjrt
