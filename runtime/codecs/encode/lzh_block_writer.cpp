#include "runtime/codecs/encode/lzh_block_writer.h"

#include <algorithm>
#include <array>

#include "runtime/codecs/encode/huffman_code.h"

namespace arjrt {

using namespace lzh;

namespace {

// One pre-tree symbol of the char/length tree's lengths, with its extra bits.
struct PreItem {
  uint8_t symbol;
  uint8_t extra_bits;
  uint16_t extra;
};

// Pre-tree symbols 0, 1, 2 stand for a run of 1, 3..18 and 20..531 zero
// lengths; 3..18 for the lengths 1..16.
size_t CharLengthItems(const uint8_t* len, size_t n, PreItem* items) {
  size_t count = 0;
  for (size_t i = 0; i < n;) {
    if (len[i] != 0) {
      items[count++] = {static_cast<uint8_t>(len[i] + 2), 0, 0};
      ++i;
      continue;
    }
    size_t run = 1;
    while (i + run < n && len[i + run] == 0) ++run;
    i += run;
    if (run <= 2) {
      for (size_t k = 0; k < run; ++k) items[count++] = {0, 0, 0};
    } else if (run <= 18) {
      items[count++] = {1, 4, static_cast<uint16_t>(run - 3)};
    } else if (run == 19) {
      items[count++] = {0, 0, 0};
      items[count++] = {1, 4, 15};
    } else {
      items[count++] = {2, kCharCountBits, static_cast<uint16_t>(run - 20)};
    }
  }
  return count;
}

size_t UsedPrefix(const uint8_t* len, size_t n) {
  while (n > 0 && len[n - 1] == 0) --n;
  return n;
}

// Lengths of the pre-tree and the position tree: 0..6 in three bits, 7 and
// more as 111 followed by (length - 7) ones and a zero.
void WriteTreeLengths(BitWriter& bits, const uint8_t* len, size_t n, uint32_t count_bits,
                      size_t zero_run_after) {
  const size_t used = UsedPrefix(len, n);
  bits.Put(count_bits, static_cast<uint32_t>(used));
  for (size_t i = 0; i < used;) {
    const uint32_t l = len[i++];
    if (l <= 6) {
      bits.Put(3, l);
    } else {
      bits.Put(l - 3, (1u << (l - 3)) - 2);
    }
    if (i == zero_run_after) {
      size_t zeros = 0;
      while (zeros < 3 && i < used && len[i] == 0) ++zeros, ++i;
      bits.Put(2, static_cast<uint32_t>(zeros));
    }
  }
}

// A tree with one used symbol (or none) is sent as a zero count and the symbol.
void WriteSingleSymbolTree(BitWriter& bits, uint32_t count_bits, uint32_t symbol) {
  bits.Put(count_bits, 0);
  bits.Put(count_bits, symbol);
}

uint32_t OnlyUsedSymbol(const uint32_t* freq, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (freq[i] != 0) return static_cast<uint32_t>(i);
  }
  return 0;
}

}  // namespace

LzhBlockWriter::LzhBlockWriter(BitWriter& bits, size_t block_codes)
    : bits_(bits),
      codes_(std::clamp<size_t>(block_codes, 1, kMaxBlockCodes)),
      pointers_(codes_.size()) {}

void LzhBlockWriter::Flush() {
  if (count_ == 0) return;
  WriteBlock();
  count_ = 0;
}

void LzhBlockWriter::WriteBlock() {
  std::array<uint32_t, kCharCodes> char_freq{};
  std::array<uint32_t, kPositionCodes> pos_freq{};
  for (size_t i = 0; i < count_; ++i) {
    char_freq[codes_[i]]++;
    if (codes_[i] >= 256) pos_freq[PositionSlot(pointers_[i])]++;
  }
  std::array<uint8_t, kCharCodes> char_len{};
  std::array<uint16_t, kCharCodes> char_code{};
  const size_t chars_used = BuildCodeLengths(char_freq.data(), kCharCodes, kMaxCodeBits, char_len.data());
  AssignCanonicalCodes(char_len.data(), kCharCodes, char_code.data());
  std::array<uint8_t, kPositionCodes> pos_len{};
  std::array<uint16_t, kPositionCodes> pos_code{};
  const size_t pos_used = BuildCodeLengths(pos_freq.data(), kPositionCodes, kMaxCodeBits, pos_len.data());
  AssignCanonicalCodes(pos_len.data(), kPositionCodes, pos_code.data());

  bits_.Put(16, static_cast<uint32_t>(count_));

  if (chars_used >= 2) {
    std::array<PreItem, kCharCodes> items{};
    const size_t char_n = UsedPrefix(char_len.data(), kCharCodes);
    const size_t item_count = CharLengthItems(char_len.data(), char_n, items.data());
    std::array<uint32_t, kPreCodes> pre_freq{};
    for (size_t i = 0; i < item_count; ++i) pre_freq[items[i].symbol]++;
    std::array<uint8_t, kPreCodes> pre_len{};
    std::array<uint16_t, kPreCodes> pre_code{};
    const size_t pre_used = BuildCodeLengths(pre_freq.data(), kPreCodes, kMaxCodeBits, pre_len.data());
    AssignCanonicalCodes(pre_len.data(), kPreCodes, pre_code.data());
    if (pre_used >= 2) {
      WriteTreeLengths(bits_, pre_len.data(), kPreCodes, kPreCountBits, kPreZeroRunAfter);
    } else {
      WriteSingleSymbolTree(bits_, kPreCountBits, OnlyUsedSymbol(pre_freq.data(), kPreCodes));
    }
    bits_.Put(kCharCountBits, static_cast<uint32_t>(char_n));
    for (size_t i = 0; i < item_count; ++i) {
      const PreItem& it = items[i];
      bits_.Put(pre_len[it.symbol], pre_code[it.symbol]);
      bits_.Put(it.extra_bits, it.extra);
    }
  } else {
    WriteSingleSymbolTree(bits_, kPreCountBits, 0);
    WriteSingleSymbolTree(bits_, kCharCountBits, OnlyUsedSymbol(char_freq.data(), kCharCodes));
  }

  if (pos_used >= 2) {
    WriteTreeLengths(bits_, pos_len.data(), kPositionCodes, kPositionCountBits, kPositionCodes + 1);
  } else {
    WriteSingleSymbolTree(bits_, kPositionCountBits, OnlyUsedSymbol(pos_freq.data(), kPositionCodes));
  }

  for (size_t i = 0; i < count_; ++i) {
    const uint16_t c = codes_[i];
    bits_.Put(char_len[c], char_code[c]);
    if (c >= 256) {
      const uint32_t p = pointers_[i];
      const uint32_t slot = PositionSlot(p);
      bits_.Put(pos_len[slot], pos_code[slot]);
      if (slot > 1) bits_.Put(slot - 1, p - (1u << (slot - 1)));
    }
  }
}

}  // namespace arjrt
