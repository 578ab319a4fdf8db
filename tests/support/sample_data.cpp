#include "tests/support/sample_data.h"

#include <algorithm>
#include <stdexcept>
#include <random>
#include <span>
#include <string_view>

#include "tests/support/files.h"

namespace testing_support {

namespace {

// xorshift32: the same sequence on every platform and compiler.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed ? seed : 0x9E3779B9u) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  uint32_t Below(uint32_t n) { return Next() % n; }

 private:
  uint32_t state_;
};

struct TextStyle {
  bool capitals;         // a capital letter after each full stop
  uint32_t line_width;   // a line ends past this many characters
  uint32_t line_spread;  // plus a random 0..spread-1 of them, when not 0
};

// Words drawn with `below(n)` (a number under n), one in 16 followed by a
// full stop and one in 16 by a comma, in lines of about `style.line_width`.
template <typename Below>
std::vector<uint8_t> Sentences(size_t size, std::span<const std::string_view> words, TextStyle style, Below below) {
  std::vector<uint8_t> out;
  out.reserve(size + 16);
  size_t line = 0;
  bool sentence_start = true;
  while (out.size() < size) {
    const std::string_view w = words[below(static_cast<uint32_t>(words.size()))];
    const size_t at = out.size();
    out.insert(out.end(), w.begin(), w.end());
    if (style.capitals && sentence_start) out[at] = static_cast<uint8_t>(out[at] - 'a' + 'A');
    sentence_start = false;
    line += w.size() + 1;
    const uint32_t p = below(16);
    if (p == 0) {
      out.push_back('.');
      sentence_start = true;
    } else if (p == 1) {
      out.push_back(',');
    }
    const uint32_t width = style.line_width + (style.line_spread != 0 ? below(style.line_spread) : 0);
    if (line > width) {
      out.push_back('\n');
      line = 0;
    } else {
      out.push_back(' ');
    }
  }
  out.resize(size);
  return out;
}

}  // namespace

std::vector<uint8_t> TextSample(size_t size, uint32_t seed) {
  static constexpr std::string_view kWords[] = {
      "the",     "archive", "of",     "a",      "header", "entry",  "packed", "bytes",
      "window",  "match",   "length", "and",    "to",     "decoder", "in",    "is",
      "stream",  "block",   "table",  "code",   "every",  "offset", "with",   "tree",
      "literal", "for",     "that",   "output", "which",  "size",   "buffer", "from"};
  Random r(seed);
  return Sentences(size, kWords, {false, 60, 0}, [&](uint32_t n) { return r.Below(n); });
}

std::vector<uint8_t> FewWords(size_t size, uint32_t seed) {
  static constexpr std::string_view kWords[] = {
      "archive", "compress", "decoder",  "encoder",  "dictionary", "extract", "huffman",
      "rebuild", "property", "portable", "volumes",  "temporary",  "directory", "checksum",
      "windows", "sequence", "contents", "position", "readable",   "verified"};
  Random r(seed);
  std::vector<uint8_t> out;
  out.reserve(size + 16);
  while (out.size() < size) {
    const uint32_t count = 4 + r.Below(10);
    for (uint32_t i = 0; i < count; ++i) {
      const std::string_view w = kWords[r.Below(std::size(kWords))];
      out.insert(out.end(), w.begin(), w.end());
      out.push_back(i + 1 == count ? '\n' : ' ');
    }
  }
  out.resize(size);
  return out;
}

std::vector<uint8_t> PatternSample(size_t size, uint32_t seed) {
  Random r(seed);
  std::vector<uint8_t> out;
  out.reserve(size);
  while (out.size() < size) {
    if (out.size() < 64 || r.Below(3) == 0) {
      const size_t n = 1 + r.Below(8);
      for (size_t i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(r.Below(64) + (i & 1) * 128));
      continue;
    }
    // Mostly near copies, some from far back (up to beyond the dictionary).
    const size_t reach = r.Below(4) == 0 ? 40000 : 600;
    const size_t distance = 1 + r.Below(static_cast<uint32_t>(std::min(out.size(), reach)));
    const size_t length = 3 + r.Below(r.Below(8) == 0 ? 300 : 20);
    const size_t from = out.size() - distance;
    for (size_t i = 0; i < length; ++i) out.push_back(out[from + i]);
  }
  out.resize(size);
  return out;
}

std::vector<uint8_t> RandomSample(size_t size, uint32_t seed) {
  Random r(seed);
  std::vector<uint8_t> out(size);
  for (auto& b : out) b = static_cast<uint8_t>(r.Next() >> 24);
  return out;
}

std::vector<uint8_t> RepetitiveSample(size_t size) {
  static const char kPhrase[] = "ab abc abcd ";
  std::vector<uint8_t> out(size);
  for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(kPhrase[i % (sizeof kPhrase - 1)]);
  return out;
}

std::vector<uint8_t> ZeroSample(size_t size) { return std::vector<uint8_t>(size, 0); }

std::vector<uint8_t> MixedSample(size_t size, uint32_t seed) {
  std::vector<uint8_t> out;
  out.reserve(size + 120000);
  for (uint32_t part = 0; out.size() < size; ++part) {
    std::vector<uint8_t> piece;
    switch (part % 4) {
      case 0: piece = TextSample(90000, seed + part); break;
      case 1: piece = PatternSample(120000, seed + part); break;
      case 2: piece = RandomSample(20000, seed + part); break;
      default: piece = RepetitiveSample(30000); break;
    }
    out.insert(out.end(), piece.begin(), piece.end());
  }
  out.resize(size);
  return out;
}

std::vector<SampleFile> CheckedInSamples() {
  return {
      {"text.txt", TextSample(40000, 1)},
      {"pattern.bin", PatternSample(36000, 2)},
      {"zeros.bin", ZeroSample(30000)},
      {"random.bin", RandomSample(3000, 3)},
      {"tiny.txt", TextSample(5, 4)},
  };
}

bool WriteSampleFiles(const std::string& dir, const std::vector<SampleFile>& files) {
  try {
    for (const SampleFile& f : files) WriteFile(dir + "/" + f.name, f.bytes);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}


namespace {

// Raw engine output only: distributions differ between standard libraries.
uint32_t Below(std::mt19937& g, uint32_t n) { return static_cast<uint32_t>(g() % n); }

constexpr std::string_view kWords[] = {
    "the",    "archive", "of",      "a",       "and",     "file",   "header", "to",     "in",
    "data",   "is",      "block",   "with",    "for",     "table",  "length", "code",   "tree",
    "window", "match",   "distance", "volume", "method",  "bytes",  "entry",  "name",   "time",
    "size",   "packed",  "original", "crc",    "stream",  "buffer", "read",   "write",  "host",
    "option", "switch",  "command", "error",   "warning", "output", "input",  "chapter"};

}  // namespace

std::vector<uint8_t> TextLike(size_t size, uint32_t seed) {
  std::mt19937 g(seed);
  return Sentences(size, kWords, {true, 64, 12}, [&](uint32_t n) { return Below(g, n); });
}

std::vector<uint8_t> BinaryLike(size_t size, uint32_t seed) {
  std::mt19937 g(seed);
  std::vector<uint8_t> out;
  out.reserve(size + 16);
  uint32_t address = 0x401000;
  while (out.size() < size) {
    address += 4 * (1 + Below(g, 8));
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(address >> (8 * i)));
    const uint32_t tag = Below(g, 6);
    out.push_back(static_cast<uint8_t>(tag));
    out.push_back(static_cast<uint8_t>(Below(g, 3) == 0 ? g() : 0));
    out.push_back(0);
    out.push_back(0);
  }
  out.resize(size);
  return out;
}

std::vector<uint8_t> MixedData(size_t size, uint32_t seed) {
  std::mt19937 g(seed);
  std::vector<uint8_t> out;
  out.reserve(size);
  uint32_t piece_seed = seed;
  while (out.size() < size) {
    const size_t piece = std::min<size_t>(size - out.size(), 16 * 1024 + Below(g, 240 * 1024));
    const uint32_t kind = Below(g, 8);
    std::vector<uint8_t> part = kind < 4   ? TextLike(piece, ++piece_seed)
                                : kind < 7 ? BinaryLike(piece, ++piece_seed)
                                           : RandomSample(piece, ++piece_seed);
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

}  // namespace testing_support
