// Binary trees of the strings at earlier positions, one tree per 3-byte
// hash, rebuilt at every position: finds the matches of every length at a
// bounded cost, as the optimal parser needs them at each position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/codecs/encode/lz_window.h"
#include "runtime/codecs/encode/match_finder.h"

namespace arjrt {

class TreeMatchFinder {
 public:
  // max_distance must not exceed LzWindow::kHistory; depth bounds the nodes
  // visited per position.
  TreeMatchFinder(ByteSource& in, uint32_t max_distance, uint32_t depth);

  ResultCode Refill() {
    uint32_t shift;
    const ResultCode r = window_.Refill(&shift);
    if (shift != 0) {
      RebasePositions(head_, shift);
      RebasePositions(children_, shift);
    }
    return r;
  }

  uint32_t lookahead() const { return window_.lookahead(); }
  const uint8_t* cursor() const { return window_.cursor(); }
  uint64_t bytes_read() const { return window_.bytes_read(); }

  // Stores matches at the cursor of strictly increasing length (at most
  // `capacity`, the last the longest found), enters the cursor into its tree
  // and moves past it. Returns the count stored.
  size_t FindAllAndAdvance(Match* out, size_t capacity) { return Update<true>(out, capacity); }
  // Longest match at the cursor (length 0 if none reaches kMinMatch).
  Match FindAndAdvance() {
    Match m{0, 0};
    FindAllAndAdvance(&m, 1);
    return m;
  }
  // Moves one position on without entering it.
  void Skip() { window_.Advance(1); }
  // Enters the cursor and moves past it without reporting matches.
  void SkipAndAdvance() { Update<false>(nullptr, 0); }

 private:
  static constexpr uint32_t kHashBits = 16;

  template <bool kReport>
  size_t Update(Match* out, size_t capacity);

  LzWindow window_;
  uint32_t max_distance_;
  uint32_t depth_;
  std::vector<int32_t> head_;
  std::vector<int32_t> children_;  // smaller and larger child per ring slot
};

}  // namespace arjrt
