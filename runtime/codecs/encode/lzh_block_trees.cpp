#include "runtime/codecs/encode/lzh_block_trees.h"

#include "runtime/codecs/encode/huffman_code.h"

namespace arjrt {

using namespace lzh;

namespace {

size_t UsedPrefix(const uint8_t* len, size_t n) {
  while (n > 0 && len[n - 1] == 0) --n;
  return n;
}

uint32_t FirstUsed(const uint32_t* freq, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (freq[i] != 0) return static_cast<uint32_t>(i);
  }
  return 0;
}

// Counts bits instead of writing them, so sizing and writing share one path.
struct BitCounter {
  uint64_t bits = 0;
  void Put(uint32_t count, uint32_t) { bits += count; }
};

// Lengths of the pre-tree and the position tree: 0..6 in three bits, 7 and
// more as 111 followed by (length - 7) ones and a zero; after the
// `zero_run_after`-th length a 2-bit count of zero lengths that follow.
template <class Out>
void EmitTreeLengths(Out& out, const uint8_t* len, size_t n, uint32_t count_bits, size_t zero_run_after) {
  const size_t used = UsedPrefix(len, n);
  out.Put(count_bits, static_cast<uint32_t>(used));
  for (size_t i = 0; i < used;) {
    const uint32_t l = len[i++];
    if (l <= 6) {
      out.Put(3, l);
    } else {
      out.Put(l - 3, (1u << (l - 3)) - 2);
    }
    if (i == zero_run_after) {
      uint32_t zeros = 0;
      while (zeros < 3 && i < used && len[i] == 0) ++zeros, ++i;
      out.Put(2, zeros);
    }
  }
}

// A tree with one used symbol (or none) goes as a zero count and the symbol;
// decoding that symbol then takes no bits.
template <class Out>
void EmitSingleSymbolTree(Out& out, uint32_t count_bits, uint32_t symbol) {
  out.Put(count_bits, 0);
  out.Put(count_bits, symbol);
}

}  // namespace

void LzhFrequencies::Add(const LzhFrequencies& other) {
  for (size_t i = 0; i < chars.size(); ++i) chars[i] += other.chars[i];
  for (size_t i = 0; i < positions.size(); ++i) positions[i] += other.positions[i];
}

LzhBlockTrees::LzhBlockTrees(const LzhFrequencies& freq) {
  chars_used_ = BuildCodeLengths(freq.chars.data(), kCharCodes, kMaxCodeBits, char_len_.data());
  AssignCanonicalCodes(char_len_.data(), kCharCodes, char_code_.data());
  single_char_ = FirstUsed(freq.chars.data(), kCharCodes);
  positions_used_ = BuildCodeLengths(freq.positions.data(), kPositionCodes, kMaxCodeBits, pos_len_.data());
  AssignCanonicalCodes(pos_len_.data(), kPositionCodes, pos_code_.data());
  single_position_ = FirstUsed(freq.positions.data(), kPositionCodes);

  if (chars_used_ >= 2) {
    // Pre-tree symbols 0, 1, 2 stand for runs of 1, 3..18 and 20..531 zero
    // lengths (19 is 1 + 18); 3..18 for the lengths 1..16.
    char_count_ = UsedPrefix(char_len_.data(), kCharCodes);
    for (size_t i = 0; i < char_count_;) {
      if (char_len_[i] != 0) {
        items_[item_count_++] = {static_cast<uint8_t>(char_len_[i] + 2), 0, 0};
        ++i;
        continue;
      }
      size_t run = 1;
      while (i + run < char_count_ && char_len_[i + run] == 0) ++run;
      i += run;
      if (run <= 2) {
        for (size_t k = 0; k < run; ++k) items_[item_count_++] = {0, 0, 0};
      } else if (run <= 18) {
        items_[item_count_++] = {1, 4, static_cast<uint16_t>(run - 3)};
      } else if (run == 19) {
        items_[item_count_++] = {0, 0, 0};
        items_[item_count_++] = {1, 4, 15};
      } else {
        items_[item_count_++] = {2, kCharCountBits, static_cast<uint16_t>(run - 20)};
      }
    }
    std::array<uint32_t, kPreCodes> pre_freq{};
    for (size_t i = 0; i < item_count_; ++i) pre_freq[items_[i].symbol]++;
    pre_used_ = BuildCodeLengths(pre_freq.data(), kPreCodes, kMaxCodeBits, pre_len_.data());
    AssignCanonicalCodes(pre_len_.data(), kPreCodes, pre_code_.data());
    single_pre_ = FirstUsed(pre_freq.data(), kPreCodes);
  }
  BitCounter counter;
  EmitTrees(counter);
  tree_bits_ = counter.bits;
}

template <class Out>
void LzhBlockTrees::EmitTrees(Out& out) const {
  if (chars_used_ >= 2) {
    if (pre_used_ >= 2) {
      EmitTreeLengths(out, pre_len_.data(), kPreCodes, kPreCountBits, kPreZeroRunAfter);
    } else {
      EmitSingleSymbolTree(out, kPreCountBits, single_pre_);
    }
    out.Put(kCharCountBits, static_cast<uint32_t>(char_count_));
    for (size_t i = 0; i < item_count_; ++i) {
      const PreItem& it = items_[i];
      out.Put(pre_len_[it.symbol], pre_code_[it.symbol]);
      out.Put(it.extra_bits, it.extra);
    }
  } else {
    EmitSingleSymbolTree(out, kPreCountBits, 0);
    EmitSingleSymbolTree(out, kCharCountBits, single_char_);
  }
  if (positions_used_ >= 2) {
    EmitTreeLengths(out, pos_len_.data(), kPositionCodes, kPositionCountBits, kPositionCodes + 1);
  } else {
    EmitSingleSymbolTree(out, kPositionCountBits, single_position_);
  }
}

void LzhBlockTrees::WriteTrees(BitWriter& bits) const { EmitTrees(bits); }

uint64_t LzhBlockTrees::CodeBits(const LzhFrequencies& freq) const {
  uint64_t total = 0;
  for (size_t i = 0; i < kCharCodes; ++i) total += uint64_t{freq.chars[i]} * char_len_[i];
  for (uint32_t s = 0; s < kPositionCodes; ++s) {
    total += uint64_t{freq.positions[s]} * (pos_len_[s] + PositionExtraBits(s));
  }
  return total;
}

}  // namespace arjrt
