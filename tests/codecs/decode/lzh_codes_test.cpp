// Methods 1..3 on hand-made blocks whose codes run from 1 to 16 bits: codes
// past the primary table's width, positions whose code and extra bits take
// 31 bits, literals next to matches, at the ends of blocks and of the
// stream, and across the point where the output window goes to the sink.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "runtime/codecs/decode/lzh_block_header.h"
#include "runtime/codecs/encode/huffman_code.h"
#include "tests/support/codec_bytes.h"

namespace {

using namespace testing_support;

constexpr size_t kCodeSymbols = 510;
constexpr size_t kPositionSymbols = 17;
constexpr size_t kPreSymbols = 19;

// A literal (distance 0) or a match.
struct Item {
  uint32_t length;  // the byte of a literal
  uint32_t distance;
};
Item Lit(uint8_t byte) { return {byte, 0}; }
Item Match(uint32_t length, uint32_t distance) { return {length, distance}; }

struct Code {
  std::vector<uint8_t> lengths;
  std::vector<uint16_t> codes;
};

Code CodeOf(std::vector<uint32_t> freq) {
  Code c{std::vector<uint8_t>(freq.size()), std::vector<uint16_t>(freq.size())};
  arjrt::BuildCodeLengths(freq.data(), freq.size(), 16, c.lengths.data());
  arjrt::AssignCanonicalCodes(c.lengths.data(), c.lengths.size(), c.codes.data());
  return c;
}

// Literal/length code: 'a' 1 bit, 'b' and 'c' a few, the 3-byte match
// short, the others from 5 to 16 bits, many past the primary table's 12
// (0xFE and 0xFF among them).
const Code& Codes() {
  static const Code code = [] {
    std::vector<uint32_t> freq(kCodeSymbols);
    for (size_t sym = 0; sym < kCodeSymbols; ++sym) freq[sym] = 1u << (sym % 16);
    freq['a'] = 1u << 22;
    freq['b'] = 1u << 19;
    freq['c'] = 1u << 18;
    freq[256] = 1u << 20;
    freq[0xFE] = 2;
    freq[0xFF] = freq[509] = 1;
    return CodeOf(freq);
  }();
  return code;
}

// Position code: slot k about twice as rare as slot k - 1, so the last
// slots take 15 and 16 bits, then up to 15 extra bits.
const Code& Positions() {
  static const Code code = [] {
    std::vector<uint32_t> freq(kPositionSymbols);
    for (size_t k = 0; k < kPositionSymbols; ++k) freq[k] = 1u << (kPositionSymbols - 1 - k);
    return CodeOf(freq);
  }();
  return code;
}

void PutCode(MsbBitWriter& w, const Code& code, size_t symbol) {
  ASSERT_NE(code.lengths[symbol], 0) << "symbol " << symbol;
  w.Put(code.codes[symbol], code.lengths[symbol]);
}

// Lengths of the pre-code and the position code: 3 bits, 7 and up as 7
// followed by ones and a zero.
void PutShortLength(MsbBitWriter& w, uint8_t len) {
  if (len < 7) {
    w.Put(len, 3);
  } else {
    w.Put(7, 3).Put((1u << (len - 7)) - 1, len - 7).Put(0, 1);
  }
}

// A block header carrying Codes() and Positions(), for `count` codes.
void PutBlockHeader(MsbBitWriter& w, uint32_t count) {
  // Pre-code: 13 lengths of 4 bits and 6 of 5 fill the code space.
  std::vector<uint8_t> pre_lengths(kPreSymbols, 4);
  for (size_t s = 13; s < kPreSymbols; ++s) pre_lengths[s] = 5;
  std::vector<uint16_t> pre_codes(kPreSymbols);
  arjrt::AssignCanonicalCodes(pre_lengths.data(), kPreSymbols, pre_codes.data());
  w.Put(count, 16).Put(kPreSymbols, 5);
  for (size_t s = 0; s < kPreSymbols; ++s) {
    PutShortLength(w, pre_lengths[s]);
    if (s == 2) w.Put(0, 2);  // no run of zero lengths after the third
  }
  // Each literal/length code length through the pre-code: 0, or length + 2.
  w.Put(kCodeSymbols, 9);
  for (uint8_t len : Codes().lengths) {
    const size_t symbol = len == 0 ? 0 : len + 2u;
    w.Put(pre_codes[symbol], pre_lengths[symbol]);
  }
  w.Put(kPositionSymbols, 5);
  for (uint8_t len : Positions().lengths) PutShortLength(w, len);
}

void PutItem(MsbBitWriter& w, const Item& item) {
  if (item.distance == 0) {
    PutCode(w, Codes(), item.length);
    return;
  }
  PutCode(w, Codes(), 256 + item.length - 3);
  size_t slot = 0;
  while (slot + 1 < kPositionSymbols && item.distance >= (slot == 0 ? 2u : (1u << slot) + 1)) ++slot;
  PutCode(w, Positions(), slot);
  if (slot > 1) w.Put(item.distance - ((1u << (slot - 1)) + 1), static_cast<unsigned>(slot - 1));
}

// The stream of `blocks` (the items of each) and what it decodes to.
struct Stream {
  std::vector<uint8_t> packed;
  std::vector<uint8_t> output;
};

Stream Encode(const std::vector<std::vector<Item>>& blocks) {
  MsbBitWriter w;
  Stream s;
  for (const auto& block : blocks) {
    PutBlockHeader(w, static_cast<uint32_t>(block.size()));
    for (const Item& item : block) {
      PutItem(w, item);
      if (item.distance == 0) {
        s.output.push_back(static_cast<uint8_t>(item.length));
      } else {
        for (uint32_t i = 0; i < item.length; ++i) s.output.push_back(s.output[s.output.size() - item.distance]);
      }
    }
  }
  s.packed = w.Bytes();
  return s;
}

// Literals of every code length the literal/length code has, in turn.
std::vector<Item> LiteralsOfEveryLength() {
  std::vector<Item> items;
  std::vector<bool> seen(17);
  for (size_t s = 0; s < 256; ++s) {
    if (!seen[Codes().lengths[s]]) items.push_back(Lit(static_cast<uint8_t>(s)));
    seen[Codes().lengths[s]] = true;
  }
  return items;
}

TEST(LzhCodesTest, TheCodesSpanEveryWidth) {
  // What the cases below rely on.
  EXPECT_EQ(Codes().lengths['a'], 1);
  EXPECT_EQ(Codes().lengths[0xFF], 16);
  EXPECT_GT(Codes().lengths[0xFE], 12);
  EXPECT_EQ(Codes().lengths[509], 16);
  EXPECT_EQ(Positions().lengths[kPositionSymbols - 1], 16);
  EXPECT_EQ(Positions().lengths[kPositionSymbols - 2], 16);
}

TEST(LzhCodesTest, TheTablesFindEveryCodeWhateverFollowsIt) {
  // Each code at the top of the window, then zeros or ones: the entry
  // names its symbol (literal bytes apart from match lengths) and the bits
  // to take, a position's extra bits among them.
  arjrt::LzhBlockTables tables;
  ASSERT_TRUE(tables.codes.Build(Codes().lengths.data()));
  ASSERT_TRUE(tables.positions.Build(Positions().lengths.data()));
  for (uint64_t rest : {uint64_t{0}, ~uint64_t{0}}) {
    for (size_t sym = 0; sym < kCodeSymbols; ++sym) {
      const unsigned len = Codes().lengths[sym];
      const uint64_t window = uint64_t{Codes().codes[sym]} << (64 - len) | rest >> len;
      const uint16_t e = tables.codes.Lookup(window);
      ASSERT_EQ(tables.codes.Symbol(e), sym);
      EXPECT_EQ(tables.codes.Taken(e), len) << sym;
      EXPECT_EQ(tables.codes.IsByte(e), sym < 256) << sym;
      EXPECT_EQ(tables.codes.Byte(e), sym & 0xFF) << sym;
    }
    for (size_t slot = 0; slot < kPositionSymbols; ++slot) {
      const unsigned len = Positions().lengths[slot];
      const uint16_t e = tables.positions.Lookup(uint64_t{Positions().codes[slot]} << (64 - len) | rest >> len);
      ASSERT_EQ(tables.positions.Byte(e), slot);
      EXPECT_EQ(tables.positions.Taken(e), len + arjrt::lzh::kPositionExtraBits[slot]) << slot;
    }
  }
  // A code that leaves part of the code space unused, or overfills it.
  std::vector<uint8_t> lengths = Codes().lengths;
  lengths[0xFF] = 0;
  EXPECT_FALSE(tables.codes.Build(lengths.data()));
  lengths[0xFF] = 15;
  EXPECT_FALSE(tables.codes.Build(lengths.data()));
}

TEST(LzhCodesTest, HandMadeBlocksDecode) {
  const std::vector<Item> every_length = LiteralsOfEveryLength();
  std::vector<Item> long_run;  // 'a' then the longest literal codes, then the shortest again
  for (int i = 0; i < 50; ++i) long_run.insert(long_run.end(), {Lit('a'), Lit(0xFE), Lit('b'), Lit(0xFF), Lit('a')});
  std::vector<Item> far;  // a match from each position slot, the farthest the dictionary allows last
  for (uint32_t i = 0; i < 26624; ++i) far.push_back(Lit(static_cast<uint8_t>(i * 7 + (i >> 9))));
  for (uint32_t d : {1u, 2u, 3u, 4u, 5u, 8u, 9u, 16u, 17u, 255u, 1000u, 8192u, 16384u, 16385u, 26624u}) {
    far.push_back(Match(3 + d % 254, d));
  }
  // Runs of 16-bit literals of every length up to past what one refill
  // holds, each ended by a block, then by the costliest match the
  // dictionary allows (a 16-bit length code, a 16-bit position code and
  // 14 extra bits).
  std::vector<std::vector<Item>> runs_to_block_end;
  std::vector<Item> runs_to_match(far.begin(), far.begin() + 26624);
  for (size_t n = 1; n <= 6; ++n) {
    runs_to_block_end.emplace_back(n, Lit(0xFF));
    runs_to_block_end.push_back({Lit(0xFE), Match(3, n)});
    runs_to_match.insert(runs_to_match.end(), n, Lit(0xFF));
    runs_to_match.push_back(Match(256, 26624));
  }
  const struct {
    const char* what;
    std::vector<std::vector<Item>> blocks;
  } cases[] = {
      {"literals of every length", {every_length}},
      {"short and long literals in turn", {long_run}},
      {"a literal, then a match", {{Lit('a'), Match(3, 1), Lit(0xFF), Match(256, 2), Lit('b')}}},
      {"a match, then literals", {{Lit('c'), Lit('a'), Match(4, 2), Lit('a'), Lit(0xFE), Lit('a')}}},
      {"one literal a block", {{Lit('a')}, {Lit('b')}, {Lit(0xFF)}, {Lit('a')}}},
      {"a block ending on a literal, the next on a match", {{Lit('a'), Lit('a')}, {Match(5, 1), Lit('a')}, {Match(3, 4)}}},
      {"matches from every position slot", {far}},
      {"runs of long literals up to the end of a block", runs_to_block_end},
      {"runs of long literals, then the longest match", {runs_to_match}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Stream s = Encode(c.blocks);
    for (uint32_t method : {1u, 3u}) {
      const DecodeOutcome o = DecodeBytes(method, s.packed, s.output.size());
      EXPECT_EQ(o.result, RESULT_OK);
      EXPECT_TRUE(o.bytes == s.output);
    }
  }
}

TEST(LzhCodesTest, OutputEndsWithinTheStream) {
  // Asked for less than the stream holds, the decoder stops at that size
  // whatever code ends there, a short or a long literal, and leaves the
  // rest (three 16-bit literals at least) as packed bytes past the end;
  // a match it cuts fails (see AMatchRunningPastTheEndFails).
  const Stream s = Encode({{Lit('a'), Lit(0xFF), Lit('a'), Match(3, 2), Lit(0xFE), Lit('b'), Lit(0xFF), Lit(0xFF),
                            Lit(0xFF)}});
  for (size_t size = 1; size + 3 <= s.output.size(); ++size) {
    SCOPED_TRACE("size " + std::to_string(size));
    const DecodeOutcome o = DecodeBytes(1, s.packed, size);
    EXPECT_EQ(o.result, ERR_CORRUPTED);
    EXPECT_TRUE(std::equal(o.bytes.begin(), o.bytes.end(), s.output.begin()));
    const bool in_match = size == 4 || size == 5;
    EXPECT_EQ(o.written, in_match ? 3 : size);
    EXPECT_EQ(o.unused > ArjToleratedUnused(1), !in_match);
  }
  const DecodeOutcome whole = DecodeBytes(1, s.packed, s.output.size());
  EXPECT_EQ(whole.result, RESULT_OK);
  EXPECT_TRUE(whole.bytes == s.output);
}

TEST(LzhCodesTest, TheWindowGoesToTheSinkBetweenAnyTwoCodes) {
  // The window hands its bytes to the sink after 26624 + 128 KiB of them.
  // 26624 + 131072 = 157696 bytes: long matches up to near that point, then
  // literals and short matches across it, shifted by one byte at a time.
  constexpr size_t kFlushPoint = 26624 + 128 * 1024;
  for (size_t shift = 0; shift < 8; ++shift) {
    SCOPED_TRACE("shift " + std::to_string(shift));
    std::vector<Item> items = {Lit('a')};
    size_t produced = 1;
    while (produced + 256 < kFlushPoint - 16 - shift) {
      items.push_back(Match(256, 1));
      produced += 256;
    }
    for (int i = 0; i < 8; ++i) items.insert(items.end(), {Lit('b'), Lit(0xFF), Match(3, 5), Lit('a')});
    // Blocks of at most 65535 codes.
    std::vector<std::vector<Item>> blocks;
    for (size_t at = 0; at < items.size(); at += 500) {
      blocks.emplace_back(items.begin() + static_cast<ptrdiff_t>(at),
                          items.begin() + static_cast<ptrdiff_t>(std::min(items.size(), at + 500)));
    }
    const Stream s = Encode(blocks);
    const DecodeOutcome o = DecodeBytes(2, s.packed, s.output.size());
    EXPECT_EQ(o.result, RESULT_OK);
    EXPECT_TRUE(o.bytes == s.output);
  }
}

}  // namespace
