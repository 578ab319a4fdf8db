#include "runtime/codecs/encode/lzh_block_writer.h"

#include <algorithm>
#include <memory>

namespace arjrt {

using namespace lzh;

namespace {

constexpr uint64_t kCountFieldBits = 16;

uint64_t BlockBits(const LzhFrequencies& freq) {
  const auto trees = std::make_unique<LzhBlockTrees>(freq);
  return kCountFieldBits + trees->TreeBits() + trees->CodeBits(freq);
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
    block_bits_ = BlockBits(block_freq_);
  } else {
    LzhFrequencies merged = block_freq_;
    merged.Add(chunk_freq_);
    const uint64_t merged_bits = BlockBits(merged);
    const uint64_t chunk_bits = BlockBits(chunk_freq_);
    if (merged_bits > block_bits_ + chunk_bits) {
      // Close the open block; the chunk opens the next one.
      WriteBlock(chunk_start_, block_freq_);
      std::copy(codes_.begin() + chunk_start_, codes_.begin() + count_, codes_.begin());
      std::copy(pointers_.begin() + chunk_start_, pointers_.begin() + count_, pointers_.begin());
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
