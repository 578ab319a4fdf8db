#include "runtime/codecs/encode/huffman_code.h"

#include <algorithm>
#include <array>

namespace arjrt {

namespace {

constexpr uint32_t kMaxTreeDepth = 2 * kMaxHuffmanSymbols;  // bound on unlimited depths

// Depths of an unlimited Huffman tree over leaves sorted by ascending
// frequency (two-queue construction: merged nodes come out in order too).
void TreeDepths(const uint32_t* sorted_freq, size_t leaves, uint32_t* depth_of_leaf) {
  const size_t nodes = 2 * leaves - 1;
  std::array<uint64_t, 2 * kMaxHuffmanSymbols> weight{};
  std::array<uint32_t, 2 * kMaxHuffmanSymbols> parent{};
  for (size_t i = 0; i < leaves; ++i) weight[i] = sorted_freq[i];
  size_t next_leaf = 0;
  size_t next_inner = leaves;
  for (size_t made = leaves; made < nodes; ++made) {
    size_t pick[2];
    for (size_t& p : pick) {
      if (next_leaf < leaves && (next_inner >= made || weight[next_leaf] <= weight[next_inner])) {
        p = next_leaf++;
      } else {
        p = next_inner++;
      }
    }
    weight[made] = weight[pick[0]] + weight[pick[1]];
    parent[pick[0]] = static_cast<uint32_t>(made);
    parent[pick[1]] = static_cast<uint32_t>(made);
  }
  // Parents come after their children, so one backward pass gives depths.
  std::array<uint32_t, 2 * kMaxHuffmanSymbols> depth{};
  depth[nodes - 1] = 0;
  for (size_t i = nodes - 1; i-- > 0;) depth[i] = std::min(depth[parent[i]] + 1, kMaxTreeDepth);
  for (size_t i = 0; i < leaves; ++i) depth_of_leaf[i] = depth[i];
}

}  // namespace

size_t BuildCodeLengths(const uint32_t* freq, size_t count, uint32_t max_bits, uint8_t* lengths) {
  // Rarest first, ties by symbol: one key per used symbol sorts both at once.
  std::array<uint64_t, kMaxHuffmanSymbols> keys{};
  size_t used = 0;
  for (size_t i = 0; i < count; ++i) {
    lengths[i] = 0;
    if (freq[i] != 0) keys[used++] = (uint64_t{freq[i]} << 16) | i;
  }
  if (used < 2) return used;
  std::sort(keys.begin(), keys.begin() + used);
  std::array<uint16_t, kMaxHuffmanSymbols> order{};
  std::array<uint32_t, kMaxHuffmanSymbols> sorted_freq{};
  for (size_t i = 0; i < used; ++i) {
    order[i] = static_cast<uint16_t>(keys[i] & 0xFFFF);
    sorted_freq[i] = static_cast<uint32_t>(keys[i] >> 16);
  }
  std::array<uint32_t, kMaxHuffmanSymbols> depth{};
  TreeDepths(sorted_freq.data(), used, depth.data());

  // Count leaves per length, folding the too-deep ones into max_bits, then
  // restore a complete code: each step below takes one leaf off the deepest
  // level and splits a shallower leaf into two, lowering the Kraft sum by one
  // unit of 2^-max_bits.
  std::array<uint32_t, kMaxTreeDepth + 1> per_length{};
  for (size_t i = 0; i < used; ++i) per_length[std::min(depth[i], max_bits)]++;
  uint64_t kraft = 0;
  for (uint32_t len = 1; len <= max_bits; ++len) kraft += uint64_t{per_length[len]} << (max_bits - len);
  const uint64_t full = uint64_t{1} << max_bits;
  while (kraft > full) {
    per_length[max_bits]--;
    for (uint32_t len = max_bits - 1; len > 0; --len) {
      if (per_length[len] != 0) {
        per_length[len]--;
        per_length[len + 1] += 2;
        break;
      }
    }
    kraft--;
  }

  // The rarest symbols take the longest codes.
  size_t next = 0;
  for (uint32_t len = max_bits; len > 0; --len) {
    for (uint32_t k = 0; k < per_length[len]; ++k) lengths[order[next++]] = static_cast<uint8_t>(len);
  }
  return used;
}

void AssignCanonicalCodes(const uint8_t* lengths, size_t count, uint16_t* codes) {
  std::array<uint32_t, 18> per_length{};
  for (size_t i = 0; i < count; ++i) per_length[lengths[i]]++;
  per_length[0] = 0;  // unused symbols take no code space
  std::array<uint32_t, 18> next_code{};
  uint32_t code = 0;
  for (uint32_t len = 1; len <= 16; ++len) {
    code = (code + per_length[len - 1]) << 1;
    next_code[len] = code;
  }
  for (size_t i = 0; i < count; ++i) {
    codes[i] = lengths[i] == 0 ? 0 : static_cast<uint16_t>(next_code[lengths[i]]++);
  }
}

}  // namespace arjrt
