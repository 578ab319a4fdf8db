// Hash chains over an LzWindow: the longest match at the cursor within a
// bounded number of links. Chains link 4-byte prefixes, so frequent short
// strings do not flood them; a table of the latest position of each 3-byte
// prefix supplies matches of exactly three bytes. Optionally a second chain
// links 12-byte prefixes: in text of few words the match of two words in a
// row sits far down the 4-byte chain of the first, past any affordable
// depth, and near the head of the long chain. Used by the lazy parsers and
// the optimal parser.
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
  // most `depth` chain links and stops early at `good_enough` bytes; then
  // up to `long_depth` links of the long chain (0: none kept).
  MatchFinder(ByteSource& in, uint32_t max_distance, uint32_t depth, uint32_t good_enough, uint32_t long_depth = 0);

  [[nodiscard]] ResultCode Refill() {
    uint32_t shift;
    const ResultCode r = window_.Refill(&shift);
    if (shift != 0) {
      RebasePositions(head_, shift);
      RebasePositions(prev_, shift);
      RebasePositions(head3_, shift);
      if (long_depth_ != 0) {
        RebasePositions(head_long_, shift);
        RebasePositions(prev_long_, shift);
      }
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
    Note(Search(&m, 1, length, depth) != 0 ? m.length : 0);
    SkipAndAdvance();
    return m;
  }

  // Stores matches at the cursor of strictly increasing length (at most
  // `capacity`, the last the longest found), enters the cursor into the
  // chains and moves past it. Returns the count stored.
  size_t FindAllAndAdvance(Match* out, size_t capacity) {
    const size_t found = Search(out, capacity, lzh::kMinMatch - 1, depth_);
    Note(found != 0 ? out[found - 1].length : 0);
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
        if (long_on_ && ahead >= kLongBytes) {
          const uint32_t hl = HashLong(window_.cursor(), kLongHashBits);
          prev_long_[static_cast<uint32_t>(pos) & (LzWindow::kHistory - 1)] = head_long_[hl];
          head_long_[hl] = pos;
        }
      }
    }
    window_.Advance(1);
  }

 private:
  static constexpr uint32_t kHashBits = 16;
  static constexpr uint32_t kHash3Bits = 14;
  static constexpr uint32_t kLongHashBits = 14;

  static constexpr uint32_t kLongOnAverage = 6;
  // The long chain pays for itself only where matches run long: it is kept
  // and searched while the recent searches' longest matches average
  // kLongOnAverage bytes or more.
  void Note(uint32_t longest) {
    if (long_depth_ == 0) return;
    average16_ = average16_ - average16_ / 16 + longest;
    long_on_ = average16_ >= 16 * kLongOnAverage;
  }

  // Matches longer than `longer_than` of increasing length into `out`, the
  // longest last; returns their count.
  size_t Search(Match* out, size_t capacity, uint32_t longer_than, uint32_t depth) const;

  LzWindow window_;
  uint32_t max_distance_;
  uint32_t depth_;
  uint32_t good_enough_;
  uint32_t long_depth_;
  uint32_t average16_ = 0;  // 16 times the recent searches' longest match, on average
  bool long_on_ = false;
  // The heads start empty; a prev_ slot is written when its position is
  // entered, before any chain reaches it, so the prev_ tables start as
  // they come.
  ScratchArray<int32_t> head_;
  ScratchArray<int32_t> prev_;
  ScratchArray<int32_t> head3_;
  ScratchArray<int32_t> head_long_;
  ScratchArray<int32_t> prev_long_;
};

}  // namespace arjrt
