// Collects the literals and matches of methods 1..3 and writes them as
// blocks (16-bit code count, trees, codes). Block boundaries adapt to the
// data: codes arrive in chunks, and a chunk whose statistics differ enough
// from the block so far starts a new block.
#pragma once

#include <cstddef>
#include <cstdint>
#include "runtime/codecs/encode/bit_writer.h"
#include "runtime/codecs/encode/lzh_block_trees.h"
#include "runtime/codecs/encode/lzh_constants.h"
#include "runtime/codecs/encode/scratch.h"

namespace arjrt {

class LzhBlockWriter {
 public:
  // chunk_codes: granularity of the boundary decisions.
  explicit LzhBlockWriter(BitWriter& bits, size_t chunk_codes = 1024);

  void Literal(uint8_t byte) { Add(byte, 0, 0); }
  // length kMinMatch..kMaxMatch, distance 1..kMaxDistance.
  void Copy(uint32_t length, uint32_t distance) {
    const uint16_t pointer = static_cast<uint16_t>(distance - 1);
    Add(static_cast<uint16_t>(length - lzh::kMinMatch + 256), pointer, PositionSlot(pointer));
  }
  // Writes everything collected (nothing if empty).
  void Flush();

  bool ok() const { return !Failed(bits_.status()); }

 private:
  void Add(uint16_t code, uint16_t pointer, uint32_t slot) {
    codes_[count_] = code;
    pointers_[count_] = pointer;
    chunk_freq_.chars[code]++;
    if (code >= 256) chunk_freq_.positions[slot]++;
    if (++count_ - chunk_start_ == chunk_codes_) EndChunk();
  }
  void EndChunk();
  void WriteBlock(size_t count, const LzhFrequencies& freq);

  BitWriter& bits_;
  size_t chunk_codes_;
  ScratchArray<uint16_t> codes_;  // the first count_ hold the codes so far
  ScratchArray<uint16_t> pointers_;
  size_t count_ = 0;
  size_t chunk_start_ = 0;    // codes before it form the open block
  LzhFrequencies block_freq_;  // of the open block
  uint64_t block_bits_ = 0;    // its cost on its own trees
  LzhFrequencies chunk_freq_;
};

}  // namespace arjrt
