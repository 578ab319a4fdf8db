#include "runtime/codecs/encode/tree_match_finder.h"

#include <algorithm>

namespace arjrt {

TreeMatchFinder::TreeMatchFinder(ByteSource& in, uint32_t max_distance, uint32_t depth)
    : window_(in),
      max_distance_(std::min(max_distance, LzWindow::kHistory)),
      depth_(depth),
      head_(size_t{1} << kHashBits, kNoPosition),
      children_(size_t{2} * LzWindow::kHistory, kNoPosition) {}

// Walks from the tree's root (the newest string of the hash) towards older
// strings, and relinks what it passes as the two subtrees of the cursor,
// which becomes the new root. Every path leads to older positions, so the
// walk ends at the first one out of reach; a ring slot is reused only
// kHistory positions later, beyond that reach.
template <bool kReport>
size_t TreeMatchFinder::Update(Match* out, size_t capacity) {
  const uint32_t limit = std::min(window_.lookahead(), lzh::kMaxMatch);
  if (limit < lzh::kMinMatch) {
    window_.Advance(1);
    return 0;
  }
  const uint8_t* data = window_.data();
  const uint32_t pos = window_.pos();
  const uint8_t* here = data + pos;
  int32_t* root = &head_[Hash3(here, kHashBits)];
  int32_t cand = *root;
  *root = static_cast<int32_t>(pos);

  constexpr uint32_t kRing = LzWindow::kHistory - 1;
  int32_t* smaller = &children_[size_t{pos & kRing} * 2];
  int32_t* larger = smaller + 1;
  uint32_t smaller_len = 0;  // common prefix of the cursor with everything under `smaller`
  uint32_t larger_len = 0;
  uint32_t best = lzh::kMinMatch - 1;
  size_t found = 0;
  for (uint32_t depth = depth_;; --depth) {
    if (cand == kNoPosition || pos - static_cast<uint32_t>(cand) > max_distance_ || depth == 0) {
      *smaller = kNoPosition;
      *larger = kNoPosition;
      break;
    }
    const uint32_t c = static_cast<uint32_t>(cand);
    int32_t* pair = &children_[size_t{c & kRing} * 2];
    const uint32_t len = window_.MatchLength(c, std::min(smaller_len, larger_len), limit);
    if (kReport && len > best) {
      best = len;
      if (found == capacity) --found;  // keep the longest in the last slot
      out[found++] = {len, pos - c};
    }
    if (len == limit) {
      // Equal as far as we can see: the candidate's subtrees become ours.
      *smaller = pair[0];
      *larger = pair[1];
      break;
    }
    if (data[c + len] < here[len]) {
      *smaller = cand;
      smaller = &pair[1];
      cand = *smaller;
      smaller_len = len;
    } else {
      *larger = cand;
      larger = &pair[0];
      cand = *larger;
      larger_len = len;
    }
  }
  window_.Advance(1);
  return found;
}

template size_t TreeMatchFinder::Update<true>(Match*, size_t);
template size_t TreeMatchFinder::Update<false>(Match*, size_t);

}  // namespace arjrt
