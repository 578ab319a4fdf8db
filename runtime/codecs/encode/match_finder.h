// Hash chains over an LzWindow: the longest match at the cursor within a
// bounded number of links. Chains link 4-byte prefixes, so frequent short
// strings do not flood them; a table of the latest position of each 3-byte
// prefix supplies matches of exactly three bytes. Used by the lazy parsers
// and the optimal parser.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/codecs/encode/lz_window.h"

namespace arjrt {

struct Match {
  uint32_t length;
  uint32_t distance;
};

class MatchFinder {
 public:
  // max_distance must not exceed LzWindow::kHistory. A search follows at
  // most `depth` chain links and stops early at `good_enough` bytes.
  MatchFinder(ByteSource& in, uint32_t max_distance, uint32_t depth, uint32_t good_enough);

  [[nodiscard]] ResultCode Refill() {
    uint32_t shift;
    const ResultCode r = window_.Refill(&shift);
    if (shift != 0) {
      RebasePositions(head_, shift);
      RebasePositions(prev_, shift);
      RebasePositions(head3_, shift);
    }
    return r;
  }

  uint32_t lookahead() const { return window_.lookahead(); }
  const uint8_t* cursor() const { return window_.cursor(); }
  uint64_t bytes_read() const { return window_.bytes_read(); }

  // The longest match longer than `length` at the cursor (length 0 if none),
  // following at most `depth` links; enters the cursor into the chains and
  // moves past it.
  Match FindLongerAndAdvance(uint32_t length, uint32_t depth) {
    Match m{0, 0};
    Search(&m, 1, length, depth);
    SkipAndAdvance();
    return m;
  }

  // Stores matches at the cursor of strictly increasing length (at most
  // `capacity`, the last the longest found), enters the cursor into the
  // chains and moves past it. Returns the count stored.
  size_t FindAllAndAdvance(Match* out, size_t capacity) {
    const size_t found = Search(out, capacity, lzh::kMinMatch - 1, depth_);
    SkipAndAdvance();
    return found;
  }

  // Enters the next `count` bytes (or all that remain) without searching:
  // the history before a chunk, which its matches may reach back into.
  [[nodiscard]] ResultCode Prime(uint64_t count) {
    for (; count != 0; --count) {
      const ResultCode r = Refill();
      if (Failed(r)) return r;
      if (lookahead() == 0) break;
      SkipAndAdvance();
    }
    return RESULT_OK;
  }

  // Moves one position on (lookahead() must not be 0) without entering it.
  void Skip() { window_.Advance(1); }

  // Enters the cursor into the chains and moves past it.
  void SkipAndAdvance() {
    const uint32_t ahead = window_.lookahead();
    if (ahead >= lzh::kMinMatch) {
      const int32_t pos = static_cast<int32_t>(window_.pos());
      head3_[Hash3(window_.cursor(), kHash3Bits)] = pos;
      if (ahead >= 4) {
        const uint32_t h = Hash4(window_.cursor(), kHashBits);
        prev_[static_cast<uint32_t>(pos) & (LzWindow::kHistory - 1)] = head_[h];
        head_[h] = pos;
      }
    }
    window_.Advance(1);
  }

 private:
  static constexpr uint32_t kHashBits = 16;
  static constexpr uint32_t kHash3Bits = 14;

  // Matches longer than `longer_than` of increasing length into `out`, the
  // longest last; returns their count.
  size_t Search(Match* out, size_t capacity, uint32_t longer_than, uint32_t depth) const;

  LzWindow window_;
  uint32_t max_distance_;
  uint32_t depth_;
  uint32_t good_enough_;
  std::vector<int32_t> head_;
  std::vector<int32_t> prev_;
  std::vector<int32_t> head3_;
};

}  // namespace arjrt
