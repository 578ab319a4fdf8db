#include "runtime/codecs/decode/fast_decoder.h"

#include <algorithm>
#include <bit>

#include "runtime/codecs/decode/bit_reader.h"

namespace arjrt {

namespace {

// Length code: up to 7 one bits (a 0 ends fewer), then as many value bits.
constexpr unsigned kMaxLengthPrefix = 7;
// Distance code: up to 4 one bits, then 9 + that many value bits.
constexpr unsigned kMaxDistancePrefix = 4;
constexpr unsigned kDistanceBaseBits = 9;
constexpr unsigned kMaxItemBits = 2 * kMaxLengthPrefix + kMaxDistancePrefix + kDistanceBaseBits + kMaxDistancePrefix;
static_assert(kMaxItemBits <= BitReader::kRefillBits);

}  // namespace

ResultCode DecodeFast(InputBuffer& input, OutputWindow& window) {
  BitReader bits(input);
  if (!bits.Start()) return input.Status();
  uint8_t* const begin = window.Begin();
  uint8_t* out = begin;
  while (!window.Finished()) {
    const OutputWindow::Span span = window.NextSpan(out);
    while (out < span.stop) {
      // At most 7 + 7 + 4 + 13 bits per item: a refill is needed only when
      // fewer are buffered (or when one must reload the input, which may
      // fail there and then, as a refill before every item would).
      if (bits.Available() < kMaxItemBits || bits.ReloadDue())
        if (!bits.Refill()) return window.FailAt(out, input.Status());
      const unsigned ones =
          std::min(static_cast<unsigned>(std::countl_one(bits.Window())), kMaxLengthPrefix);
      bits.Skip(ones + (ones < kMaxLengthPrefix));
      if (ones == 0) {
        *out++ = static_cast<uint8_t>(bits.Take(8));
        continue;
      }
      const size_t length = (size_t{1} << ones) - 1 + bits.Take(ones) + kArjMinMatch - 1;
      const unsigned extra =
          std::min(static_cast<unsigned>(std::countl_one(bits.Window())), kMaxDistancePrefix);
      bits.Skip(extra + (extra < kMaxDistancePrefix));
      const size_t distance = (((size_t{1} << extra) - 1) << kDistanceBaseBits) +
                              bits.Take(kDistanceBaseBits + extra) + 1;
      // A match may not start before the output, nor run past its end: arj
      // writes all of it and so fails the entry.
      if (distance > static_cast<size_t>(out - begin) || length > static_cast<size_t>(span.hard - out)) [[unlikely]]
        return window.FailAt(out, ERR_CORRUPTED);
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

}  // namespace arjrt
