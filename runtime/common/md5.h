// MD5 message digest (RFC 1321), streaming.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace arjrt {

class Md5 {
 public:
  Md5() { Reset(); }

  void Reset();
  // Adds `size` more bytes; any split of the input gives the same digest.
  void Update(const void* data, size_t size);
  // Writes the digest of everything added since the last Reset, then resets
  // so the object is ready for a new message.
  void Final(uint8_t out[16]);

 private:
  static constexpr size_t kBlockSize = 64;

  void ProcessBlocks(const uint8_t* blocks, size_t count);

  uint32_t state_[4];
  uint64_t total_bytes_;
  uint8_t pending_[kBlockSize];
  size_t pending_size_;
};

std::array<uint8_t, 16> Md5Of(const void* data, size_t size);

}  // namespace arjrt
