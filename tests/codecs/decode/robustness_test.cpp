// Hostile and broken input: the decoder must fail cleanly, never read or
// write out of bounds and never spin. Run under ASan/UBSan.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/archive_parser.h"
#include "tests/support/bytes.h"
#include "tests/support/codec_bytes.h"
#include "tests/support/files.h"
#include "tests/support/memory_streams.h"
#include "tests/support/sanitizers.h"

namespace {

using namespace testing_support;

// The packed bytes of one entry of a checked-in archive.
ParsedEntry CheckedInEntry(int method, const std::string& name) {
  const Bytes image = ReadFile(SourcePath("tests/codecs/decode/data/sample-m" + std::to_string(method) + ".arj"));
  for (const ParsedEntry& e : ParseArchive(image).entries) {
    if (e.name == name) return e;
  }
  ADD_FAILURE() << "no " << name << " in sample-m" << method << ".arj";
  return {};
}

// A failed decode must not claim more than it was asked for; a successful
// one must have produced exactly that.
void ExpectConsistent(const DecodeOutcome& o, uint64_t size) {
  EXPECT_EQ(o.written, o.bytes.size());
  EXPECT_LE(o.written, size);
  if (o.result == RESULT_OK) {
    EXPECT_EQ(o.written, size);
  }
}

// --- Hand-made method 1..3 block headers ----------------------------------

// The 16-bit count of codes that opens a block.
MsbBitWriter BlockStart(uint32_t codes) {
  MsbBitWriter w;
  w.Put(codes, 16);
  return w;
}

TEST(LzhHeaderTest, ImpossibleTablesAreCorrupt) {
  struct Case {
    const char* what;
    std::vector<uint8_t> stream;
  };
  std::vector<Case> cases;
  // Pre-code: 20 lengths where 19 is the maximum.
  cases.push_back({"pre-code count", BlockStart(1).Put(20, 5).Put(0, 32).Bytes()});
  // Pre-code: the single symbol 19 does not exist.
  cases.push_back({"pre-code single symbol", BlockStart(1).Put(0, 5).Put(19, 5).Put(0, 32).Bytes()});
  // Pre-code: a length of 17 (7 + ten 1 bits).
  cases.push_back({"pre-code length 17", BlockStart(1).Put(1, 5).Put(0b111, 3).Put(0x3FF, 10).Put(0, 32).Bytes()});
  // Pre-code: two lengths of 1 and one more: over-subscribed.
  cases.push_back({"pre-code over-subscribed",
                   BlockStart(1).Put(3, 5).Put(1, 3).Put(1, 3).Put(1, 3).Put(0, 2).Put(0, 32).Bytes()});
  // Pre-code: one length of 1 alone leaves half the codes unassigned.
  cases.push_back({"pre-code incomplete", BlockStart(1).Put(1, 5).Put(1, 3).Put(0, 32).Bytes()});
  // Literal code: 511 lengths where 510 is the maximum.
  cases.push_back({"code count", BlockStart(1).Put(0, 5).Put(3, 5).Put(511, 9).Put(0, 32).Bytes()});
  // Literal code: the single symbol 510 does not exist.
  cases.push_back({"code single symbol",
                   BlockStart(1).Put(0, 5).Put(3, 5).Put(0, 9).Put(510, 9).Put(0, 32).Bytes()});
  // Literal code: with pre-code symbol 2 alone, each step is a run of
  // 20 + 9 bits of zero lengths; 511 zeros overrun the table.
  cases.push_back({"code zero run",
                   BlockStart(1).Put(0, 5).Put(2, 5).Put(510, 9).Put(491, 9).Put(0, 32).Bytes()});
  // Literal code: every length 1 (pre-code symbol 3 alone): over-subscribed.
  cases.push_back({"code over-subscribed",
                   BlockStart(1).Put(0, 5).Put(3, 5).Put(510, 9).Put(0, 32).Bytes()});
  // Position code: 18 lengths where 17 is the maximum.
  cases.push_back({"position count",
                   BlockStart(1).Put(0, 5).Put(0, 5).Put(0, 9).Put(65, 9).Put(18, 5).Put(0, 32).Bytes()});
  // Position code: the single symbol 17 does not exist.
  cases.push_back({"position single symbol",
                   BlockStart(1).Put(0, 5).Put(0, 5).Put(0, 9).Put(65, 9).Put(0, 5).Put(17, 5).Put(0, 32).Bytes()});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (uint32_t method : {1u, 2u, 3u}) {
      const DecodeOutcome o = DecodeBytes(method, c.stream, 100);
      EXPECT_EQ(o.result, ERR_CORRUPTED);
      EXPECT_EQ(o.written, 0u);
    }
  }
}

// A block of 54 bits whose codes have one symbol each, taking no bits.
MsbBitWriter& PutSingleSymbolBlock(MsbBitWriter& w, uint32_t codes, uint32_t code_symbol, uint32_t position_symbol) {
  return w.Put(codes, 16).Put(0, 5).Put(0, 5).Put(0, 9).Put(code_symbol, 9).Put(0, 5).Put(position_symbol, 5);
}

std::vector<uint8_t> SingleSymbolBlock(uint32_t codes, uint32_t code_symbol, uint32_t position_symbol) {
  MsbBitWriter w;
  return PutSingleSymbolBlock(w, codes, code_symbol, position_symbol).Bytes();
}

// The code symbol of a match of `length` bytes.
constexpr uint32_t MatchSymbol(uint32_t length) { return 256 + length - 3; }

TEST(LzhHeaderTest, OneSymbolCodesDecode) {
  const DecodeOutcome o = DecodeBytes(1, SingleSymbolBlock(5, 'A', 0), 5);
  ASSERT_EQ(o.result, RESULT_OK);
  EXPECT_EQ(o.bytes, std::vector<uint8_t>(5, 'A'));
}

TEST(LzhHeaderTest, MatchBeforeTheStartIsCorrupt) {
  // The only code is a 3-byte match at distance 1, with nothing decoded yet.
  const DecodeOutcome o = DecodeBytes(1, SingleSymbolBlock(5, 256, 0), 9);
  EXPECT_EQ(o.result, ERR_CORRUPTED);
  EXPECT_EQ(o.written, 0u);
}

TEST(LzhHeaderTest, EndlessZeroBitCodesStopAtTheEndOfInput) {
  // One block of 10 free literals, then the input ends: the next block
  // header would have to come from nothing.
  const DecodeOutcome o = DecodeBytes(1, SingleSymbolBlock(10, 'A', 0), 1000);
  EXPECT_EQ(o.result, ERR_END_OF_DATA);
  EXPECT_EQ(o.bytes, std::vector<uint8_t>(10, 'A'));  // decoded before the fault
}

// --- Method 4 by hand ------------------------------------------------------

TEST(FastStreamTest, MatchDistanceBeyondOutputIsCorrupt) {
  // Literal 'x', then a 3-byte match (prefix 10, value 0) at distance 2.
  const auto stream = MsbBitWriter().Put(0, 1).Put('x', 8).Put(0b10, 2).Put(0, 1).Put(0, 1).Put(1, 9).Put(0, 32).Bytes();
  const DecodeOutcome o = DecodeBytes(4, stream, 4);
  EXPECT_EQ(o.result, ERR_CORRUPTED);
  EXPECT_EQ(o.bytes, std::vector<uint8_t>{'x'});
}

TEST(FastStreamTest, LongestLengthAndFarthestDistanceDecode) {
  // 15872 literals, then a 256-byte match (seven 1 bits, value 127) from
  // 15872 back (four 1 bits, 13 bits of 8191).
  MsbBitWriter w;
  std::vector<uint8_t> expected;
  for (uint32_t i = 0; i < 15872; ++i) {
    const auto b = static_cast<uint8_t>(i * 7 + (i >> 8));
    w.Put(0, 1).Put(b, 8);
    expected.push_back(b);
  }
  w.Put(0x7F, 7).Put(127, 7).Put(0xF, 4).Put(8191, 13);
  for (size_t i = 0; i < 256; ++i) expected.push_back(expected[i]);
  const DecodeOutcome o = DecodeBytes(4, w.Bytes(), expected.size());
  ASSERT_EQ(o.result, RESULT_OK);
  EXPECT_TRUE(o.bytes == expected);
}

// --- Damaged real streams ---------------------------------------------------

struct DamagedStream {
  int method;
  const char* name;
};
const DamagedStream kDamaged[] = {{1, "text.txt"}, {1, "pattern.bin"}, {3, "pattern.bin"}, {4, "text.txt"},
                            {4, "pattern.bin"}, {1, "zeros.bin"}, {4, "zeros.bin"}};

TEST(DamagedStreamTest, TruncatedDataFails) {
  for (const DamagedStream& d : kDamaged) {
    const ParsedEntry e = CheckedInEntry(d.method, d.name);
    SCOPED_TRACE(std::string(d.name) + " method " + std::to_string(e.method()));
    ASSERT_FALSE(e.packed.empty());
    const size_t step = std::max<size_t>(1, e.packed.size() / SweepPoints(300, 60));
    for (size_t cut = 0; cut < e.packed.size(); cut += step) {
      const std::vector<uint8_t> part(e.packed.begin(), e.packed.begin() + static_cast<ptrdiff_t>(cut));
      const DecodeOutcome o = DecodeBytes(e.method(), part, e.original_size());
      ExpectConsistent(o, e.original_size());
      // The last few bytes may be stood in for by zero bits; earlier cuts must show.
      if (cut + 16 < e.packed.size()) {
        EXPECT_TRUE(o.result == ERR_END_OF_DATA || o.result == ERR_CORRUPTED) << "cut at " << cut;
      }
    }
  }
}

TEST(DamagedStreamTest, StoredShortInputIsEndOfData) {
  const std::vector<uint8_t> data(1000, 7);
  const DecodeOutcome o = DecodeBytes(0, data, 1001);
  EXPECT_EQ(o.result, ERR_END_OF_DATA);
  EXPECT_EQ(o.written, 1000u);
}

TEST(DamagedStreamTest, FlippedBitsAndBytesStayInBounds) {
  for (const DamagedStream& d : kDamaged) {
    const ParsedEntry e = CheckedInEntry(d.method, d.name);
    SCOPED_TRACE(std::string(d.name) + " method " + std::to_string(e.method()));
    const size_t step = std::max<size_t>(1, e.packed.size() / SweepPoints(200, 40));
    for (size_t at = 0; at < e.packed.size(); at += step) {
      for (uint8_t mask : {uint8_t{0x01}, uint8_t{0x10}, uint8_t{0x80}, uint8_t{0xFF}}) {
        std::vector<uint8_t> bad = e.packed;
        bad[at] ^= mask;
        ExpectConsistent(DecodeBytes(e.method(), bad, e.original_size()), e.original_size());
      }
    }
  }
}

// --- The end of the stream, as arj judges it (see ArjToleratedUnused) ----

TEST(StreamEndTest, BytesAfterArjsStreamsFailPastWhatArjAccepts) {
  const DamagedStream entries[] = {{0, "text.txt"},    {0, "tiny.txt"}, {1, "text.txt"}, {1, "zeros.bin"},
                             {2, "pattern.bin"}, {3, "text.txt"}, {4, "text.txt"}, {4, "zeros.bin"}};
  for (const DamagedStream& d : entries) {
    const ParsedEntry e = CheckedInEntry(d.method, d.name);
    for (const size_t extra : {0, 1, 2, 3, 4, 1000, 70000}) {
      for (const uint8_t fill : {uint8_t{0x00}, uint8_t{0xFF}}) {
        for (const size_t max_read : {SIZE_MAX, size_t{7}}) {
          SCOPED_TRACE(std::string(d.name) + " method " + std::to_string(e.method()) + ", " + std::to_string(extra) +
                       " bytes of " + std::to_string(fill) + ", reads of " + std::to_string(max_read));
          Bytes packed = e.packed;
          packed.resize(packed.size() + extra, fill);
          const DecodeOutcome o = DecodeBytes(e.method(), packed, e.original_size(), max_read);
          // The whole output is out before the end is judged.
          EXPECT_EQ(o.written, e.original_size());
          EXPECT_EQ(Crc32Of(o.bytes), e.crc());
          if (extra <= ArjToleratedUnused(e.method())) {
            EXPECT_EQ(o.result, RESULT_OK);
            EXPECT_EQ(o.unused, 0u);
          } else {
            EXPECT_EQ(o.result, ERR_CORRUPTED);
            EXPECT_EQ(o.unused, extra);
          }
        }
      }
    }
  }
}

// Hand-made streams ending at every bit position of their last byte.
struct EndCase {
  std::string what;
  uint32_t method;
  std::vector<uint8_t> stream;  // ends on the byte of its last bit
  std::vector<uint8_t> output;
};

std::vector<EndCase> StreamsEndingAtEveryBit() {
  std::vector<EndCase> cases;
  // Method 4: literals of 9 bits each.
  for (size_t n : {1, 2, 3, 4, 5, 6, 7, 8, 40000}) {
    MsbBitWriter w;
    std::vector<uint8_t> output;
    for (size_t i = 0; i < n; ++i) {
      const auto b = static_cast<uint8_t>('a' + i % 26);
      w.Put(0, 1).Put(b, 8);
      output.push_back(b);
    }
    cases.push_back({std::to_string(n) + " literals", 4, w.Bytes(), output});
  }
  // Methods 1..3: a block of three free literals, another of m 3-byte
  // matches at distance 3 that take one bit each (position symbol 2).
  for (uint32_t m = 1; m <= 8; ++m) {
    MsbBitWriter w;
    PutSingleSymbolBlock(w, 3, 'X', 0);
    PutSingleSymbolBlock(w, m, MatchSymbol(3), 2).Put(0, m);
    cases.push_back({std::to_string(m) + " one-bit matches", 1 + m % 3, w.Bytes(), std::vector<uint8_t>(3 + 3 * m, 'X')});
  }
  return cases;
}

TEST(StreamEndTest, ArjsToleranceHoldsAtEveryBitPosition) {
  for (const EndCase& c : StreamsEndingAtEveryBit()) {
    for (const uint64_t extra : {0, 1, 2, 3, 8}) {
      SCOPED_TRACE(c.what + ", " + std::to_string(extra) + " bytes more");
      std::vector<uint8_t> packed = c.stream;
      packed.resize(packed.size() + extra, 0xA5);
      const DecodeOutcome o = DecodeBytes(c.method, packed, c.output.size());
      EXPECT_TRUE(o.bytes == c.output);
      EXPECT_EQ(o.result, extra <= ArjToleratedUnused(c.method) ? RESULT_OK : ERR_CORRUPTED);
      EXPECT_EQ(o.unused, extra <= ArjToleratedUnused(c.method) ? 0 : extra);
    }
  }
}

TEST(StreamEndTest, AMatchRunningPastTheEndFails) {
  // arj writes the whole of a last match, and so fails an entry it overruns.
  // Method 4: 'A', then a 3-byte match at distance 1.
  const auto fast = MsbBitWriter().Put(0, 1).Put('A', 8).Put(0b10, 2).Put(0, 1).Put(0, 1).Put(0, 9).Bytes();
  // Method 1: three free literals 'X', then a 10-byte match at distance 3.
  MsbBitWriter w;
  PutSingleSymbolBlock(w, 3, 'X', 0);
  const auto lzh = PutSingleSymbolBlock(w, 1, MatchSymbol(10), 2).Put(0, 1).Bytes();
  const struct {
    uint32_t method;
    const std::vector<uint8_t>& stream;
    uint64_t size;
    ResultCode result;
  } cases[] = {{4, fast, 1, RESULT_OK},      {4, fast, 2, ERR_CORRUPTED}, {4, fast, 3, ERR_CORRUPTED},
               {4, fast, 4, RESULT_OK},      {1, lzh, 4, ERR_CORRUPTED},  {1, lzh, 12, ERR_CORRUPTED},
               {1, lzh, 13, RESULT_OK}};
  for (const auto& c : cases) {
    SCOPED_TRACE("method " + std::to_string(c.method) + " size " + std::to_string(c.size));
    const DecodeOutcome o = DecodeBytes(c.method, c.stream, c.size);
    EXPECT_EQ(o.result, c.result);
    ExpectConsistent(o, c.size);
  }
}

// --- Garbage and hostile sizes -------------------------------------------

uint32_t NextRandom(uint32_t& s) {
  s ^= s << 13;
  s ^= s >> 17;
  s ^= s << 5;
  return s;
}

TEST(GarbageTest, RandomBytesFailCleanly) {
  uint32_t seed = 12345;
  for (int round = 0; round < 400; ++round) {
    std::vector<uint8_t> junk(NextRandom(seed) % 3000);
    for (auto& b : junk) b = static_cast<uint8_t>(NextRandom(seed));
    const uint32_t method = 1 + static_cast<uint32_t>(round % 4);
    const uint64_t size = NextRandom(seed) % 200000;
    ExpectConsistent(DecodeBytes(method, junk, size), size);
  }
}

TEST(GarbageTest, HugeSizeWithTinyInputEnds) {
  const ParsedEntry text = CheckedInEntry(1, "text.txt");
  const ParsedEntry fast = CheckedInEntry(4, "text.txt");
  const std::vector<std::vector<uint8_t>> inputs = {
      {},
      std::vector<uint8_t>(10, 0x00),
      std::vector<uint8_t>(10, 0xFF),
      {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0},
      std::vector<uint8_t>(text.packed.begin(), text.packed.begin() + 40),
      std::vector<uint8_t>(fast.packed.begin(), fast.packed.begin() + 40),
  };
  for (uint64_t size : {uint64_t{0xFFFFFFFF}, UINT64_MAX}) {
    for (uint32_t method = 1; method <= 4; ++method) {
      for (const auto& input : inputs) {
        MemorySource in(input);
        CountingSink out;
        uint64_t written = 0;
        const ResultCode r = DecodeArjData(method, in, out, size, &written);
        EXPECT_TRUE(r == ERR_END_OF_DATA || r == ERR_CORRUPTED) << "method " << method << " r " << r;
        EXPECT_EQ(written, out.count);
        // Free codes yield at most 65536 bytes per 54-bit header.
        EXPECT_LT(written, uint64_t{64} << 20);
      }
    }
  }
}

TEST(GarbageTest, HugeStoredSizeEndsWithTheInput) {
  const std::vector<uint8_t> data(5000, 1);
  MemorySource in(data);
  CountingSink out;
  uint64_t written = 0;
  EXPECT_EQ(DecodeArjData(0, in, out, UINT64_MAX, &written), ERR_END_OF_DATA);
  EXPECT_EQ(written, 5000u);
}

// --- Interface -----------------------------------------------------------

TEST(InterfaceTest, OtherMethodsAreUnsupported) {
  const std::vector<uint8_t> data(10, 0);
  for (uint32_t method : {5u, 8u, 0xFFFFFFFFu}) {
    const DecodeOutcome o = DecodeBytes(method, data, 10);
    EXPECT_EQ(o.result, ERR_UNSUPPORTED);
    EXPECT_EQ(o.written, 0u);
  }
}

TEST(InterfaceTest, EmptyOutputNeedsNoInput) {
  for (uint32_t method = 0; method <= 4; ++method) {
    const DecodeOutcome o = DecodeBytes(method, {}, 0);
    EXPECT_EQ(o.result, RESULT_OK);
    EXPECT_EQ(o.written, 0u);
    // But packed data for nothing fails as with arj, past what it accepts.
    for (uint64_t extra = 1; extra <= 3; ++extra) {
      const DecodeOutcome more = DecodeBytes(method, std::vector<uint8_t>(extra, 0xFF), 0);
      EXPECT_EQ(more.result, extra <= ArjToleratedUnused(method) ? RESULT_OK : ERR_CORRUPTED) << method;
      EXPECT_EQ(more.unused, extra <= ArjToleratedUnused(method) ? 0 : extra);
    }
  }
  const Bytes nothing;  // outlives the source, which points into it
  MemorySource in(nothing);
  MemorySink out;
  EXPECT_EQ(DecodeArjData(1, in, out, 0, nullptr), RESULT_OK);  // written may be null
}

TEST(InterfaceTest, StreamFailuresPassThroughUnchanged) {
  for (int method : {0, 1, 4}) {
    const ParsedEntry e = CheckedInEntry(method, "text.txt");
    SCOPED_TRACE(method);
    {
      FailingSource in(e.packed, e.packed.size() / 2, ERR_IO);
      MemorySink out;
      uint64_t written = 0;
      EXPECT_EQ(DecodeArjData(e.method(), in, out, e.original_size(), &written), ERR_IO);
      EXPECT_EQ(written, out.bytes.size());
    }
    {
      MemorySource in(e.packed);
      MemorySink out(0, ERR_ACCESS_DENIED);
      uint64_t written = 1;
      EXPECT_EQ(DecodeArjData(e.method(), in, out, e.original_size(), &written), ERR_ACCESS_DENIED);
      EXPECT_EQ(written, 0u);
    }
  }
}

}  // namespace
