// Greedy / one-step lazy LZ77 parsing, shared by the LZH methods 2, 3 and
// the fast method 4. The finder is a MatchFinder or TreeMatchFinder; the
// emitter receives Literal(uint8_t) and Copy(length, distance) calls and
// reports through ok() whether its output still goes anywhere.
#pragma once

#include <cstdint>

#include "runtime/codecs/encode/match_finder.h"

namespace arjrt {

struct LazyParseParams {
  uint32_t lazy_below;  // try the next position only for matches shorter than this (0: greedy)
  uint32_t far_min3;    // a 3-byte match farther than this is worth less than its literals
};

// Rough value of a match for the lazy choice: each byte saves a few bits,
// each doubling of the distance costs one. No match is worth least.
inline int32_t Worth(const Match& m) {
  if (m.length < lzh::kMinMatch) return INT32_MIN / 2;
  return static_cast<int32_t>(4 * m.length) - (32 - __builtin_clz(m.distance));
}

// Taking the next position's match costs the literal before it.
constexpr int32_t kLiteralPenalty = 2;

template <class Finder, class Emitter>
ResultCode LazyParse(Finder& mf, const LazyParseParams& p, Emitter& emit) {
  ResultCode r = RESULT_OK;
  uint8_t byte = 0;  // at the position `cur` was found for
  // Searches at the cursor and moves past it.
  auto search = [&]() {
    byte = *mf.cursor();
    Match m = mf.FindAndAdvance();
    if (m.length == lzh::kMinMatch && m.distance > p.far_min3) m.length = 0;
    return m;
  };
  if (Failed(r = mf.Refill()) || mf.lookahead() == 0) return r;
  Match cur = search();
  for (;;) {
    if (!emit.ok()) return RESULT_OK;  // the sink failed: the caller reports that
    uint32_t skip = 0;  // positions of cur still to pass
    if (cur.length < lzh::kMinMatch) {
      emit.Literal(byte);
    } else {
      skip = cur.length - 1;
      if (cur.length < p.lazy_below) {
        // A match leaves at least two bytes ahead, so there is a next position.
        if (Failed(r = mf.Refill())) return r;
        const uint8_t first = byte;
        const Match next = search();
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
    cur = search();
  }
}

}  // namespace arjrt
