#include "tests/codecs/encode/sample_data.h"

#include <algorithm>
#include <random>
#include <string_view>

namespace arjtest {

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
  std::vector<uint8_t> out;
  out.reserve(size + 16);
  size_t line = 0;
  bool sentence_start = true;
  while (out.size() < size) {
    std::string_view w = kWords[Below(g, std::size(kWords))];
    const size_t at = out.size();
    out.insert(out.end(), w.begin(), w.end());
    if (sentence_start) out[at] = static_cast<uint8_t>(out[at] - 'a' + 'A');
    sentence_start = false;
    line += w.size() + 1;
    const uint32_t r = Below(g, 16);
    if (r == 0) {
      out.push_back('.');
      sentence_start = true;
    } else if (r == 1) {
      out.push_back(',');
    }
    if (line > 64 + Below(g, 12)) {
      out.push_back('\n');
      line = 0;
    } else {
      out.push_back(' ');
    }
  }
  out.resize(size);
  return out;
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

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 g(seed);
  std::vector<uint8_t> out(size);
  for (auto& b : out) b = static_cast<uint8_t>(g() >> 24);
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
                                           : RandomBytes(piece, ++piece_seed);
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

}  // namespace arjtest
