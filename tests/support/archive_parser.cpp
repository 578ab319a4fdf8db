#include "tests/support/archive_parser.h"

namespace testing_support {
namespace {

constexpr uint16_t kHeaderId = 0xEA60;
constexpr size_t kFixedBytes = 34;
constexpr uint16_t kMinBasicSize = 30;

uint16_t Get16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

class Parser {
 public:
  explicit Parser(const Bytes& a) : a_(a) {}

  bool Has(size_t at, size_t n) const { return at <= a_.size() && n <= a_.size() - at; }

  // The offset after the header at `at` and its extended headers (0 when it
  // does not fit); fills `e` for a local header.
  size_t HeaderEnd(size_t at, ParsedEntry* e) const {
    if (!Has(at, 4)) return 0;
    const uint16_t basic = Get16(a_, at + 2);
    size_t p = at + 4 + basic;
    if (!Has(at + 4, basic) || !Has(p, 4)) return 0;
    if (e != nullptr) {
      if (basic < kMinBasicSize) return 0;
      e->basic_size = basic;
      e->first_header_size = a_[at + 4];
      const uint32_t crc = a_[p] | a_[p + 1] << 8 | a_[p + 2] << 16 | uint32_t{a_[p + 3]} << 24;
      e->header_crc_ok = Crc32Update(basic, a_.data() + at + 4, 0) == crc;
      for (size_t q = at + 4 + e->first_header_size; q < at + 4 + basic && a_[q] != 0; ++q)
        e->name.push_back(static_cast<char>(a_[q]));
    }
    p += 4;
    for (;;) {
      if (!Has(p, 2)) return 0;
      const uint16_t ext = Get16(a_, p);
      p += 2;
      if (ext == 0) break;
      if (!Has(p, ext + 4u)) return 0;
      p += ext + 4;
      if (e != nullptr) ++e->extended_headers;
    }
    return p;
  }

 private:
  const Bytes& a_;
};

}  // namespace

ParsedArchive ParseArchive(const Bytes& a) {
  ParsedArchive out;
  const Parser parser(a);
  size_t p = parser.HeaderEnd(0, nullptr);
  if (p == 0 || Get16(a, 0) != kHeaderId) return out;
  out.main_header_length = p;
  while (parser.Has(p, 4) && Get16(a, p) == kHeaderId) {
    if (Get16(a, p + 2) == 0) {
      out.ended = p + 4 == a.size();
      break;
    }
    if (!parser.Has(p, kFixedBytes)) break;
    ParsedEntry e;
    e.offset = p;
    e.fixed.assign(a.begin() + static_cast<long>(p), a.begin() + static_cast<long>(p + kFixedBytes));
    const size_t data = parser.HeaderEnd(p, &e);
    if (data == 0) break;
    const uint32_t packed = e.Field32(16);
    if (!parser.Has(data, packed)) break;
    e.data_offset = data;
    e.packed.assign(a.begin() + static_cast<long>(data), a.begin() + static_cast<long>(data + packed));
    out.entries.push_back(std::move(e));
    p = data + packed;
  }
  return out;
}

}  // namespace testing_support
