#include "runtime/codecs/decode/huffman_table.h"

#include <cstring>

namespace arjrt::huffman {

namespace {

// Sets `n` entries (a power of two) from `at`. Short codes own long runs
// of the primary table, refilled for every block: up to eight entries to a
// store.
void FillEntries(uint16_t* at, uint32_t n, uint16_t entry) {
  if (n < 4) {
    at[0] = entry;
    if (n == 2) at[1] = entry;
    return;
  }
  const uint64_t four = entry * uint64_t{0x0001000100010001};
  if (n == 4) {
    std::memcpy(at, &four, sizeof four);
    return;
  }
  const uint64_t eight[2] = {four, four};
  for (uint32_t k = 0; k < n; k += 8) std::memcpy(at + k, eight, sizeof eight);
}

}  // namespace

bool BuildTables(const uint8_t* lengths, const uint8_t* extra_bits, size_t count, unsigned primary_bits,
                 uint16_t* primary, uint16_t* secondary, size_t secondary_size) {
  if (count > kMaxSymbols || primary_bits == 0 || primary_bits >= kMaxCodeLength) return false;
  const unsigned secondary_bits = kMaxCodeLength - primary_bits;
  uint32_t per_length[kMaxCodeLength + 1] = {};
  for (size_t s = 0; s < count; ++s) {
    if (lengths[s] > kMaxCodeLength) return false;
    ++per_length[lengths[s]];
  }
  // The code must fill the code space exactly: a gap would leave table
  // entries unset, an excess would place codes outside it.
  uint32_t space = 0;
  uint32_t used = 0;  // symbols with a code
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
    space += per_length[len] << (kMaxCodeLength - len);
    used += per_length[len];
  }
  if (space != (uint32_t{1} << kMaxCodeLength)) return false;

  // Symbols in code order: by length, then by symbol.
  uint32_t first_index[kMaxCodeLength + 2] = {};
  uint32_t next_code[kMaxCodeLength + 1] = {};
  uint32_t code = 0;
  for (unsigned len = 1; len <= kMaxCodeLength; ++len) {
    first_index[len + 1] = first_index[len] + per_length[len];
    next_code[len] = code;
    code = (code + per_length[len]) << 1;
  }
  uint16_t ordered[kMaxSymbols];
  for (size_t s = 0; s < count; ++s) {
    if (lengths[s] != 0) ordered[first_index[lengths[s]]++] = static_cast<uint16_t>(s);
  }

  size_t secondary_used = 0;
  uint32_t open_prefix = UINT32_MAX;
  size_t open_base = 0;
  for (uint32_t i = 0; i < used; ++i) {
    const uint16_t symbol = ordered[i];
    const unsigned len = lengths[symbol];
    const uint32_t c = next_code[len]++;
    const unsigned extra = extra_bits != nullptr ? extra_bits[symbol] : 0;
    const uint16_t entry = MakeEntry(symbol, len + extra);
    if (len <= primary_bits) {
      const uint32_t first = c << (primary_bits - len);
      const uint32_t n = uint32_t{1} << (primary_bits - len);
      FillEntries(primary + first, n, entry);
      continue;
    }
    const uint32_t prefix = c >> (len - primary_bits);
    if (prefix != open_prefix) {
      // Codes sharing a prefix are adjacent in code order.
      if (secondary_used + (size_t{1} << secondary_bits) > secondary_size) return false;
      open_prefix = prefix;
      open_base = secondary_used;
      secondary_used += size_t{1} << secondary_bits;
      primary[prefix] = static_cast<uint16_t>(kLinkFlag | (open_base >> secondary_bits) << kLinkShift);
    }
    const uint32_t low = c & ((uint32_t{1} << (len - primary_bits)) - 1);
    const uint32_t first = low << (kMaxCodeLength - len);
    FillEntries(secondary + open_base + first, uint32_t{1} << (kMaxCodeLength - len), entry);
  }
  return true;
}

}  // namespace arjrt::huffman
