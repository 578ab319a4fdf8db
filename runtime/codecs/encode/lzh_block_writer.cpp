#include "runtime/codecs/encode/lzh_block_writer.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace arjrt {

using namespace lzh;

namespace {

constexpr uint64_t kCountFieldBits = 16;
// Rough tree header costs: per used symbol, and the fixed fields.
constexpr double kTreeBitsPerChar = 4;
constexpr double kTreeBitsPerPosition = 3;
constexpr uint64_t kTreeBitsFixed = 60;

// n * log2(n), from a table for the small counts most symbols have.
class CountLog {
 public:
  CountLog() {
    for (uint32_t n = 1; n < kTable; ++n) table_[n] = static_cast<float>(n * std::log2(static_cast<double>(n)));
  }
  float operator()(uint32_t n) const {
    return n < kTable ? table_[n] : static_cast<float>(n * std::log2(static_cast<double>(n)));
  }

 private:
  static constexpr uint32_t kTable = 8192;
  float table_[kTable] = {};
};

// The block's cost on its own trees, estimated: the entropy of its symbols,
// the extra position bits, and a few bits per used symbol for the trees.
// Building real trees for every chunk would cost more than the split gains.
uint64_t EstimatedBlockBits(const LzhFrequencies& freq) {
  static const CountLog count_log;
  double bits = kCountFieldBits;
  auto add = [&](const uint32_t* f, size_t n, double per_used, bool position) {
    uint64_t total = 0;
    double sum = 0;
    size_t used = 0;
    for (size_t i = 0; i < n; ++i) {
      if (f[i] == 0) continue;
      total += f[i];
      sum += count_log(f[i]);
      ++used;
      if (position) bits += static_cast<double>(f[i]) * PositionExtraBits(static_cast<uint32_t>(i));
    }
    if (total != 0) bits += static_cast<double>(total) * std::log2(static_cast<double>(total)) - sum;
    bits += per_used * static_cast<double>(used);
  };
  add(freq.chars.data(), kCharCodes, kTreeBitsPerChar, false);
  add(freq.positions.data(), kPositionCodes, kTreeBitsPerPosition, true);
  return static_cast<uint64_t>(bits) + kTreeBitsFixed;
}

}  // namespace

LzhBlockWriter::LzhBlockWriter(BitWriter& bits, size_t chunk_codes)
    : bits_(bits),
      chunk_codes_(std::clamp<size_t>(chunk_codes, 1, kMaxBlockCodes / 2)),
      codes_(kMaxBlockCodes),
      pointers_(kMaxBlockCodes) {}

void LzhBlockWriter::EndChunk() {
  if (chunk_start_ == 0) {
    block_freq_ = chunk_freq_;
    block_bits_ = EstimatedBlockBits(block_freq_);
  } else {
    LzhFrequencies merged = block_freq_;
    merged.Add(chunk_freq_);
    const uint64_t merged_bits = EstimatedBlockBits(merged);
    const uint64_t chunk_bits = EstimatedBlockBits(chunk_freq_);
    if (merged_bits > block_bits_ + chunk_bits) {
      // Close the open block; the chunk opens the next one.
      WriteBlock(chunk_start_, block_freq_);
      std::copy(codes_.data() + chunk_start_, codes_.data() + count_, codes_.data());
      std::copy(pointers_.data() + chunk_start_, pointers_.data() + count_, pointers_.data());
      count_ -= chunk_start_;
      block_freq_ = chunk_freq_;
      block_bits_ = chunk_bits;
    } else {
      block_freq_ = merged;
      block_bits_ = merged_bits;
    }
  }
  chunk_start_ = count_;
  chunk_freq_ = LzhFrequencies{};
  // The count field caps a block; leave room for one more chunk.
  if (count_ + chunk_codes_ > kMaxBlockCodes) {
    WriteBlock(count_, block_freq_);
    count_ = 0;
    chunk_start_ = 0;
  }
}

void LzhBlockWriter::Flush() {
  if (count_ != chunk_start_) EndChunk();
  if (count_ != 0) WriteBlock(count_, block_freq_);
  count_ = 0;
  chunk_start_ = 0;
}

void LzhBlockWriter::WriteBlock(size_t count, const LzhFrequencies& freq) {
  const auto trees = std::make_unique<LzhBlockTrees>(freq);
  bits_.Put(16, static_cast<uint32_t>(count));
  trees->WriteTrees(bits_);
  for (size_t i = 0; i < count; ++i) trees->WriteCode(bits_, codes_[i], pointers_[i]);
}

}  // namespace arjrt
