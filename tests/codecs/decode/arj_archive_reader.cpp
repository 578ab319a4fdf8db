#include "tests/codecs/decode/arj_archive_reader.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace arjrt::test {

namespace {

constexpr uint8_t kId0 = 0x60;
constexpr uint8_t kId1 = 0xEA;
// Offsets from the header id.
constexpr size_t kFlagsAt = 8;
constexpr size_t kMethodAt = 9;
constexpr size_t kGarbleModifierAt = 11;
constexpr size_t kPackedSizeAt = 16;
constexpr size_t kOriginalSizeAt = 20;
constexpr size_t kCrcAt = 24;
constexpr size_t kFixedPartAt = 4;  // the basic header begins with its own size byte
constexpr size_t kMinBasicSize = kCrcAt + 4 - kFixedPartAt;

uint32_t Le16(const std::vector<uint8_t>& b, size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return Le16(b, at) | (Le16(b, at + 2) << 16);
}

struct Header {
  size_t start = 0;       // offset of the id
  size_t basic_size = 0;  // 0 for the end marker
  size_t next = 0;        // offset after the header and its extended headers
};

std::optional<Header> ReadHeader(const std::vector<uint8_t>& b, size_t at) {
  if (at + 4 > b.size() || b[at] != kId0 || b[at + 1] != kId1) return std::nullopt;
  Header h{at, Le16(b, at + 2), 0};
  if (h.basic_size == 0) {
    h.next = at + 4;
    return h;
  }
  size_t p = at + 4 + h.basic_size + 4;  // basic header and its CRC
  while (true) {
    if (p + 2 > b.size()) return std::nullopt;
    const size_t ext = Le16(b, p);
    p += 2;
    if (ext == 0) break;
    p += ext + 4;
  }
  if (p > b.size()) return std::nullopt;
  h.next = p;
  return h;
}

}  // namespace

std::optional<std::vector<ArjEntry>> ReadArjEntries(const std::vector<uint8_t>& b) {
  const auto main = ReadHeader(b, 0);
  if (!main || main->basic_size == 0) return std::nullopt;
  std::vector<ArjEntry> entries;
  size_t at = main->next;
  while (true) {
    const auto h = ReadHeader(b, at);
    if (!h) return std::nullopt;
    if (h->basic_size == 0) return entries;
    if (h->basic_size < kMinBasicSize) return std::nullopt;
    ArjEntry e;
    e.flags = b[at + kFlagsAt];
    e.method = b[at + kMethodAt];
    e.garble_modifier = b[at + kGarbleModifierAt];
    const size_t packed = Le32(b, at + kPackedSizeAt);
    e.original_size = Le32(b, at + kOriginalSizeAt);
    e.crc = Le32(b, at + kCrcAt);
    const size_t name_at = at + kFixedPartAt + b[at + kFixedPartAt];
    const size_t basic_end = at + 4 + h->basic_size;
    for (size_t i = name_at; i < basic_end && b[i] != 0; ++i) e.name.push_back(static_cast<char>(b[i]));
    if (packed > b.size() - h->next) return std::nullopt;
    e.data_offset = h->next;
    e.packed.assign(b.begin() + static_cast<ptrdiff_t>(h->next),
                    b.begin() + static_cast<ptrdiff_t>(h->next + packed));
    entries.push_back(std::move(e));
    at = h->next + packed;
  }
}

std::optional<std::vector<uint8_t>> ReadFileBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return std::nullopt;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace arjrt::test
