#include "runtime/codecs/encode/optimal_parser.h"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <vector>

#include "runtime/codecs/encode/huffman_code.h"
#include "runtime/codecs/encode/lazy_parser.h"
#include "runtime/codecs/encode/lzh_block_trees.h"
#include "runtime/codecs/encode/scratch.h"

namespace arjrt {

using namespace lzh;

namespace {

constexpr uint32_t kSegmentBytes = 32768;
// The longest matter most; more per position only lengthen the table the
// parse walks, out of cache.
constexpr size_t kMatchesPerPosition = 4;
constexpr uint32_t kInfinite = std::numeric_limits<uint32_t>::max();

// Bit prices of every symbol, from code lengths; a symbol the estimate never
// used still gets a finite price so a parse may pick it.
struct Prices {
  std::array<uint32_t, kCharCodes> chars{};
  std::array<uint32_t, kPositionCodes> positions{};  // extra bits included

  void From(const LzhFrequencies& freq) {
    std::array<uint8_t, kCharCodes> char_len{};
    std::array<uint8_t, kPositionCodes> pos_len{};
    BuildCodeLengths(freq.chars.data(), kCharCodes, kMaxCodeBits, char_len.data());
    BuildCodeLengths(freq.positions.data(), kPositionCodes, kMaxCodeBits, pos_len.data());
    for (size_t i = 0; i < kCharCodes; ++i) chars[i] = char_len[i] != 0 ? char_len[i] : (i < 256 ? 12 : 14);
    for (uint32_t s = 0; s < kPositionCodes; ++s) {
      positions[s] = (pos_len[s] != 0 ? pos_len[s] : 8) + PositionExtraBits(s);
    }
  }

  uint32_t Copy(uint32_t length, uint32_t distance) const {
    return chars[length - kMinMatch + 256] + positions[PositionSlot(distance - 1)];
  }
};

// State of one segment: its bytes, the matches at each position, the path.
class Segment {
 public:
  Segment()
      : bytes_(kSegmentBytes),
        match_count_(kSegmentBytes),
        matches_(kSegmentBytes * kMatchesPerPosition),
        price_(kSegmentBytes + 1),
        step_len_(kSegmentBytes + 1),
        step_dist_(kSegmentBytes + 1),
        path_len_(kSegmentBytes),
        path_dist_(kSegmentBytes) {}

  // Reads up to kSegmentBytes positions from the match finder. Returns the
  // count (0 at the end of the input) or the source's error.
  int64_t Gather(MatchFinder& mf, uint32_t nice_length, uint32_t sparse_after) {
    uint32_t n = 0;
    while (n < kSegmentBytes) {
      const ResultCode r = mf.Refill();
      if (Failed(r)) return r;
      if (mf.lookahead() == 0) break;
      bytes_[n] = *mf.cursor();
      Match* list = &matches_[size_t{n} * kMatchesPerPosition];
      size_t found = mf.FindAllAndAdvance(list, kMatchesPerPosition);
      // Matches stop at the segment's end.
      const uint32_t room = kSegmentBytes - n;
      for (size_t k = 0; k < found; ++k) {
        if (list[k].length > room) {
          list[k].length = room;
          found = k + 1;
          break;
        }
      }
      if (found != 0 && list[found - 1].length < kMinMatch) found = 0;
      match_count_[n] = static_cast<uint8_t>(found);
      ++n;
      if (found != 0 && list[found - 1].length >= nice_length) {
        // Long match: its inside is covered by it, so skip the searches.
        const uint32_t skip = list[found - 1].length - 1;
        for (uint32_t k = 0; k < skip; ++k) {
          const ResultCode rr = mf.Refill();
          if (Failed(rr)) return rr;
          bytes_[n] = *mf.cursor();
          match_count_[n] = 0;
          mf.SkipAndAdvance();
          ++n;
        }
      }
      if (found != 0) {
        misses_ = 0;
      } else if (++misses_ > sparse_after) {
        // Data without matches (packed or random) is searched ever more
        // sparsely; the positions passed over can only be literals.
        uint32_t pass = std::min((misses_ - sparse_after) >> kSparseGrowthShift, kSparseMaxPass);
        for (; pass != 0 && n < kSegmentBytes; --pass) {
          const ResultCode rr = mf.Refill();
          if (Failed(rr)) return rr;
          if (mf.lookahead() == 0) break;
          bytes_[n] = *mf.cursor();
          match_count_[n] = 0;
          mf.Skip();
          ++n;
        }
      }
    }
    size_ = n;
    return n;
  }

  // Cheapest parse under `prices`; leaves it in path_len_/path_dist_.
  void Solve(const Prices& prices) {
    price_[0] = 0;
    std::fill_n(price_.data() + 1, size_, kInfinite);
    for (uint32_t i = 0; i < size_; ++i) {
      const uint32_t base = price_[i];
      const uint32_t lit = base + prices.chars[bytes_[i]];
      if (lit < price_[i + 1]) {
        price_[i + 1] = lit;
        step_len_[i + 1] = 1;
      }
      const size_t found = match_count_[i];
      if (found == 0) continue;
      const Match* list = &matches_[size_t{i} * kMatchesPerPosition];
      uint32_t len = kMinMatch;
      for (size_t k = 0; k < found; ++k) {
        const uint32_t dist_price = prices.positions[PositionSlot(list[k].distance - 1)];
        for (; len <= list[k].length; ++len) {
          const uint32_t p = base + prices.chars[len - kMinMatch + 256] + dist_price;
          if (p < price_[i + len]) {
            price_[i + len] = p;
            step_len_[i + len] = static_cast<uint16_t>(len);
            step_dist_[i + len] = static_cast<uint16_t>(list[k].distance);
          }
        }
      }
    }
    // Walk back from the end, then store the steps in order.
    path_steps_ = 0;
    for (uint32_t at = size_; at > 0;) {
      const uint32_t len = step_len_[at];
      at -= len;
      path_len_[path_steps_] = static_cast<uint16_t>(len);
      path_dist_[path_steps_] = len == 1 ? 0 : step_dist_[at + len];
      ++path_steps_;
    }
    std::reverse(path_len_.data(), path_len_.data() + path_steps_);
    std::reverse(path_dist_.data(), path_dist_.data() + path_steps_);
  }

  // The statistics of a quick parse over the gathered matches: the longest
  // match at each position, unless the next position has one longer, then
  // a literal; so too for a 3-byte match beyond kQuickFar3, whose extra
  // position bits alone cost about what its literals do.
  LzhFrequencies QuickFrequencies() const {
    constexpr uint32_t kQuickFar3 = 1024;
    LzhFrequencies f;
    auto longest = [&](uint32_t at) {
      const size_t found = match_count_[at];
      return found == 0 ? Match{0, 0} : matches_[size_t{at} * kMatchesPerPosition + found - 1];
    };
    for (uint32_t at = 0; at < size_;) {
      const Match m = longest(at);
      if (m.length == 0 || (m.length == kMinMatch && m.distance > kQuickFar3) ||
          (at + 1 < size_ && longest(at + 1).length > m.length)) {
        f.chars[bytes_[at]]++;
        ++at;
        continue;
      }
      f.chars[m.length - kMinMatch + 256]++;
      f.positions[PositionSlot(m.distance - 1u)]++;
      at += m.length;
    }
    return f;
  }

  LzhFrequencies PathFrequencies() const {
    LzhFrequencies f;
    uint32_t at = 0;
    for (size_t s = 0; s < path_steps_; ++s) {
      if (path_len_[s] == 1) {
        f.chars[bytes_[at]]++;
      } else {
        f.chars[path_len_[s] - kMinMatch + 256]++;
        f.positions[PositionSlot(path_dist_[s] - 1u)]++;
      }
      at += path_len_[s];
    }
    return f;
  }

  void Emit(LzhBlockWriter& out) const {
    uint32_t at = 0;
    for (size_t s = 0; s < path_steps_; ++s) {
      if (path_len_[s] == 1) {
        out.Literal(bytes_[at]);
      } else {
        out.Copy(path_len_[s], path_dist_[s]);
      }
      at += path_len_[s];
    }
  }

 private:
  // Each written before it is read.
  ScratchArray<uint8_t> bytes_;
  ScratchArray<uint8_t> match_count_;
  ScratchArray<Match> matches_;
  ScratchArray<uint32_t> price_;
  ScratchArray<uint16_t> step_len_;
  ScratchArray<uint16_t> step_dist_;
  ScratchArray<uint16_t> path_len_;
  ScratchArray<uint16_t> path_dist_;
  uint32_t size_ = 0;
  size_t path_steps_ = 0;
  uint32_t misses_ = 0;  // positions in a row without a match, across segments
};

}  // namespace

ResultCode OptimalParse(MatchFinder& mf, uint32_t nice_length, uint32_t sparse_after, LzhBlockWriter& out) {
  const auto segment = std::make_unique<Segment>();
  Prices prices;  // set before each segment is solved
  for (bool first = true;; first = false) {
    if (!out.ok()) return RESULT_OK;  // the sink failed: the caller reports that
    const int64_t n = segment->Gather(mf, nice_length, sparse_after);
    if (n < 0) return static_cast<ResultCode>(n);
    if (n == 0) return RESULT_OK;
    // One pass on the statistics of the segments before: a second pass on
    // this segment's own gained nothing measurable for twice the cost. The
    // first segment has no such statistics, and guessed prices cost a small
    // file a tenth or more; it is priced by a quick parse of its own, which
    // packs as tight as a first optimal pass at a fraction of its cost.
    if (first) prices.From(segment->QuickFrequencies());
    segment->Solve(prices);
    segment->Emit(out);
    prices.From(segment->PathFrequencies());
  }
}

}  // namespace arjrt
