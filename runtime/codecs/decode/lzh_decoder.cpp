#include "runtime/codecs/decode/lzh_decoder.h"

#include <array>
#include <memory>
#include <new>

#include "runtime/codecs/decode/bit_reader.h"
#include "runtime/codecs/decode/lzh_block_header.h"

namespace arjrt {

namespace {

// Literals are the byte symbols of the code, matches the rest, the
// shortest first; positions are byte symbols too.
static_assert(lzh::kLiteralCount == 256 && lzh::kCodeSymbols - 256 <= 256 && lzh::kPositionSymbols <= 256);

// A position slot's distance base and the mask of its extra bits, side by side.
struct PositionSlot {
  uint32_t base;
  uint32_t mask;
};
constexpr auto kPositionSlots = [] {
  std::array<PositionSlot, lzh::kPositionSymbols> slots{};
  for (size_t k = 0; k < slots.size(); ++k) {
    slots[k] = {lzh::kPositionBase[k], (uint32_t{1} << lzh::kPositionExtraBits[k]) - 1};
  }
  return slots;
}();

// Kept out of the decoding loop. The reader goes in and out by value so
// the loop's reader never has its address taken and stays in registers.
[[gnu::noinline]] BitReader StartBlock(LzhBlockTables& tables, BitReader bits, uint32_t* code_count,
                                       bool* ok, bool* corrupt) {
  *ok = tables.ReadHeader(bits, code_count, corrupt);
  return bits;
}

// The decoding loop, apart from the tables' owner: with no object to
// destroy on the way out it needs no frame pointer, and one more register
// keeps the reader's state.
[[gnu::noinline]] ResultCode DecodeWith(LzhBlockTables& tables, InputBuffer& input, OutputWindow& window) {
  const auto& codes = tables.codes;
  const auto& positions = tables.positions;

  BitReader bits(input);
  if (!bits.Start()) return input.Status();
  uint8_t* const begin = window.Begin();
  uint8_t* out = begin;
  uint32_t block_left = 0;
  while (!window.Finished()) {
    const OutputWindow::Span span = window.NextSpan(out);
    while (out < span.stop) {
      if (block_left == 0) [[unlikely]] {
        bool ok = false;
        bool corrupt = false;
        uint32_t code_count = 0;  // block_left's own address is never taken: it stays in a register
        bits = StartBlock(tables, bits, &code_count, &ok, &corrupt);
        block_left = code_count;
        if (!ok) {
          return window.FailAt(out, corrupt ? ERR_CORRUPTED : input.Status());
        }
      }
      // The code is looked up before the refill when the buffer holds a
      // whole one: the refill, which leaves the top bits as they are, then
      // stays off the path from one code to the next.
      uint16_t e = codes.Lookup(bits.Window());
      const bool short_of_bits = bits.Available() < huffman::kMaxCodeLength;
      if (!bits.Refill()) return window.FailAt(out, input.Status());
      if (short_of_bits) [[unlikely]] e = codes.Lookup(bits.Window());
      if (codes.IsByte(e)) {
        // A literal takes at most 16 bits: a run of them goes on without
        // a refill while the buffer still holds a whole code, but stops at
        // once when a reload is due, as a refill before each code would.
        const unsigned keep = bits.ReloadDue() ? 64 : huffman::kMaxCodeLength;
        bool to_top = false;
        do {
          bits.Skip(codes.Taken(e));
          *out++ = codes.Byte(e);
          if (--block_left == 0 || out >= span.stop || bits.Available() < keep) {
            to_top = true;
            break;
          }
          e = codes.Lookup(bits.Window());
        } while (codes.IsByte(e));
        if (to_top) continue;
        // The match's code stays at the top of the buffer through the refill.
        if (!bits.Refill()) return window.FailAt(out, input.Status());
      }
      --block_left;
      // At most 16 + 16 + 15 bits per match: one refill suffices.
      bits.Skip(codes.Taken(e));
      // Match symbols follow the 256 literals: the low byte is the length less 3.
      const size_t length = size_t{codes.Byte(e)} + kArjMinMatch;
      // The position code and its extra bits in one step: the extra bits
      // are the last of those taken.
      const uint16_t p = positions.Lookup(bits.Window());
      const unsigned slot = positions.Byte(p);
      const unsigned taken = positions.Taken(p);
      // Shifted down by (64 - taken) mod 64, the extra bits end at bit 0;
      // when nothing is taken the mask is 0.
      const PositionSlot& ps = kPositionSlots[slot];
      const size_t distance = ps.base + ((bits.Window() >> ((64 - taken) & 63)) & ps.mask);
      bits.Skip(taken);
      // A match may not start before the output, nor run past its end: arj
      // writes all of it and so fails the entry.
      if (distance > static_cast<size_t>(out - begin) || distance > kArjDictionarySize ||
          length > static_cast<size_t>(span.hard - out)) [[unlikely]] {
        return window.FailAt(out, ERR_CORRUPTED);
      }
      out = CopyMatch(out, distance, length);
    }
    // Through a copy: a position whose address is taken lives in memory,
    // and the loop above would store and load it for every symbol.
    uint8_t* moved = out;
    const ResultCode r = window.EndSpan(moved);
    if (r < 0) return r;
    out = moved;
  }
  return input.CheckEnd(bits.FirstUnused());
}

}  // namespace

ResultCode DecodeLzh(InputBuffer& input, OutputWindow& window) {
  const std::unique_ptr<LzhBlockTables> tables(new (std::nothrow) LzhBlockTables);
  if (!tables) return ERR_NO_MEMORY;
  return DecodeWith(*tables, input, window);
}

}  // namespace arjrt
