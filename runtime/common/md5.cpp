#include "runtime/common/md5.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "runtime/common/byte_order.h"

namespace arjrt {

namespace {

// floor(|sin(i + 1)| * 2^32) for step i.
constexpr uint32_t kSine[64] = {
    0xD76AA478u, 0xE8C7B756u, 0x242070DBu, 0xC1BDCEEEu,
    0xF57C0FAFu, 0x4787C62Au, 0xA8304613u, 0xFD469501u,
    0x698098D8u, 0x8B44F7AFu, 0xFFFF5BB1u, 0x895CD7BEu,
    0x6B901122u, 0xFD987193u, 0xA679438Eu, 0x49B40821u,
    0xF61E2562u, 0xC040B340u, 0x265E5A51u, 0xE9B6C7AAu,
    0xD62F105Du, 0x02441453u, 0xD8A1E681u, 0xE7D3FBC8u,
    0x21E1CDE6u, 0xC33707D6u, 0xF4D50D87u, 0x455A14EDu,
    0xA9E3E905u, 0xFCEFA3F8u, 0x676F02D9u, 0x8D2A4C8Au,
    0xFFFA3942u, 0x8771F681u, 0x6D9D6122u, 0xFDE5380Cu,
    0xA4BEEA44u, 0x4BDECFA9u, 0xF6BB4B60u, 0xBEBFBC70u,
    0x289B7EC6u, 0xEAA127FAu, 0xD4EF3085u, 0x04881D05u,
    0xD9D4D039u, 0xE6DB99E5u, 0x1FA27CF8u, 0xC4AC5665u,
    0xF4292244u, 0x432AFF97u, 0xAB9423A7u, 0xFC93A039u,
    0x655B59C3u, 0x8F0CCC92u, 0xFFEFF47Du, 0x85845DD1u,
    0x6FA87E4Fu, 0xFE2CE6E0u, 0xA3014314u, 0x4E0811A1u,
    0xF7537E82u, 0xBD3AF235u, 0x2AD7D2BBu, 0xEB86D391u,
};

constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// Which message word step i reads.
constexpr size_t WordIndex(size_t i) {
  switch (i / 16) {
    case 0: return i;
    case 1: return (5 * i + 1) % 16;
    case 2: return (3 * i + 5) % 16;
    default: return (7 * i) % 16;
  }
}

// One step of round I / 16. The round functions are written so that as much
// as possible is computed before b, the previous step's result, is known.
template <size_t I>
inline void Step(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, const uint32_t* x) {
  uint32_t sum = a + x[WordIndex(I)] + kSine[I];
  if constexpr (I < 16) {
    sum += d ^ (b & (c ^ d));  // (b & c) | (~b & d)
  } else if constexpr (I < 32) {
    // (b & d) | (c & ~d): the halves never share a bit, so add them apart.
    sum += c & ~d;
    sum += b & d;
  } else if constexpr (I < 48) {
    sum += b ^ c ^ d;
  } else {
    sum += c ^ (b | ~d);
  }
  a = b + std::rotl(sum, kShift[I / 16][I % 4]);
}

// Four steps, after which the roles of a, b, c, d are back where they began.
template <size_t Q>
inline void Quad(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, const uint32_t* x) {
  Step<4 * Q + 0>(a, b, c, d, x);
  Step<4 * Q + 1>(d, a, b, c, x);
  Step<4 * Q + 2>(c, d, a, b, x);
  Step<4 * Q + 3>(b, c, d, a, x);
}

template <size_t... Q>
inline void AllSteps(uint32_t& a, uint32_t& b, uint32_t& c, uint32_t& d, const uint32_t* x,
                     std::index_sequence<Q...>) {
  (Quad<Q>(a, b, c, d, x), ...);
}

}  // namespace

void Md5::Reset() {
  state_[0] = 0x67452301u;
  state_[1] = 0xEFCDAB89u;
  state_[2] = 0x98BADCFEu;
  state_[3] = 0x10325476u;
  total_bytes_ = 0;
  pending_size_ = 0;
}

void Md5::ProcessBlocks(const uint8_t* blocks, size_t count) {
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  for (; count > 0; --count, blocks += kBlockSize) {
    uint32_t x[16];
    for (size_t i = 0; i < 16; ++i) x[i] = LoadLittle32(blocks + 4 * i);
    const uint32_t a0 = a, b0 = b, c0 = c, d0 = d;
    AllSteps(a, b, c, d, x, std::make_index_sequence<16>{});
    a += a0;
    b += b0;
    c += c0;
    d += d0;
  }
  state_[0] = a;
  state_[1] = b;
  state_[2] = c;
  state_[3] = d;
}

void Md5::Update(const void* data, size_t size) {
  if (size == 0) return;
  const auto* in = static_cast<const uint8_t*>(data);
  total_bytes_ += size;

  if (pending_size_ > 0) {
    const size_t take = std::min(size, kBlockSize - pending_size_);
    std::memcpy(pending_ + pending_size_, in, take);
    pending_size_ += take;
    in += take;
    size -= take;
    if (pending_size_ < kBlockSize) return;
    ProcessBlocks(pending_, 1);
    pending_size_ = 0;
  }
  // Whole blocks straight from the caller's buffer, no copy.
  const size_t whole = size / kBlockSize;
  if (whole > 0) {
    ProcessBlocks(in, whole);
    in += whole * kBlockSize;
    size -= whole * kBlockSize;
  }
  if (size > 0) {
    std::memcpy(pending_, in, size);
    pending_size_ = size;
  }
}

void Md5::Final(uint8_t out[16]) {
  const uint64_t bit_length = total_bytes_ * 8;
  // Padding: 0x80, zeros up to 56 mod 64, then the bit length (little-endian).
  uint8_t tail[2 * kBlockSize] = {};
  std::memcpy(tail, pending_, pending_size_);
  tail[pending_size_] = 0x80u;
  const size_t tail_size = pending_size_ < kBlockSize - 8 ? kBlockSize : 2 * kBlockSize;
  StoreLittle32(static_cast<uint32_t>(bit_length), tail + tail_size - 8);
  StoreLittle32(static_cast<uint32_t>(bit_length >> 32), tail + tail_size - 4);
  ProcessBlocks(tail, tail_size / kBlockSize);
  for (size_t i = 0; i < 4; ++i) StoreLittle32(state_[i], out + 4 * i);
  Reset();
}

std::array<uint8_t, 16> Md5Of(const void* data, size_t size) {
  Md5 md5;
  md5.Update(data, size);
  std::array<uint8_t, 16> digest;
  md5.Final(digest.data());
  return digest;
}

}  // namespace arjrt
