// Greedy / one-step lazy LZ77 parsing over a MatchFinder, shared by the
// LZH methods 2, 3 and the fast method 4. The emitter receives
// Literal(uint8_t) and Copy(length, distance) calls and reports through
// ok() whether its output still goes anywhere.
#pragma once

#include <cstdint>

#include "runtime/codecs/encode/match_finder.h"

namespace arjrt {

struct LazyParseParams {
  uint32_t chain_depth;     // hash chain links followed per search
  uint32_t good_enough;     // stop searching at a match this long
  uint32_t lazy_below;      // try the next position only for matches shorter than this (0: greedy)
  uint32_t far_min3;        // a 3-byte match farther than this is worth less than its literals
};

template <class Emitter>
ResultCode LazyParse(MatchFinder& mf, const LazyParseParams& p, Emitter& emit) {
  auto search = [&]() {
    Match m = mf.FindLongest(p.chain_depth, p.good_enough);
    if (m.length == lzh::kMinMatch && m.distance > p.far_min3) m.length = 0;
    return m;
  };
  ResultCode r = mf.Refill();
  if (Failed(r)) return r;
  Match cur = search();
  while (mf.lookahead() != 0) {
    if (!emit.ok()) return RESULT_OK;  // the sink failed: the caller reports that
    if (cur.length < lzh::kMinMatch) {
      emit.Literal(*mf.cursor());
      mf.InsertAndAdvance();
      if (Failed(r = mf.Refill())) return r;
      cur = search();
      continue;
    }
    uint32_t done = 0;  // bytes of cur already passed
    if (cur.length < p.lazy_below) {
      const uint8_t first = *mf.cursor();
      mf.InsertAndAdvance();
      if (Failed(r = mf.Refill())) return r;
      const Match next = search();
      if (next.length > cur.length) {
        emit.Literal(first);
        cur = next;
        continue;
      }
      done = 1;
    }
    emit.Copy(cur.length, cur.distance);
    for (; done < cur.length; ++done) {
      mf.InsertAndAdvance();
      if (Failed(r = mf.Refill())) return r;
    }
    cur = search();
  }
  return RESULT_OK;
}

}  // namespace arjrt
