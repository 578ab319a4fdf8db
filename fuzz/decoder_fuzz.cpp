// libFuzzer target for DecodeArjData. Input: one byte of method (taken
// modulo 5), four bytes of little-endian unpacked size (modulo 4 MiB + 1,
// to keep runs short), then the packed data.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "runtime/codecs/decode/arj_decoder.h"

namespace {

class Source : public arjrt::ByteSource {
 public:
  Source(const uint8_t* data, size_t size) : data_(data), left_(size) {}
  int64_t Read(uint8_t* buffer, size_t size) override {
    // Odd-sized reads put chunk boundaries everywhere.
    size_t n = size < left_ ? size : left_;
    if (n > 1 + (left_ % 4093)) n = 1 + (left_ % 4093);
    if (n != 0) std::memcpy(buffer, data_, n);
    data_ += n;
    left_ -= n;
    return static_cast<int64_t>(n);
  }

 private:
  const uint8_t* data_;
  size_t left_;
};

class Sink : public arjrt::ByteSink {
 public:
  ResultCode Write(const uint8_t* data, size_t size) override {
    // Touch every byte so the sanitizers see uninitialized or stray output.
    for (size_t i = 0; i < size; ++i) sum_ += data[i];
    count += size;
    return RESULT_OK;
  }
  uint64_t count = 0;

 private:
  uint32_t sum_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
#ifdef FUZZ_METHOD_COUNT
  // One decoder on its own: store, the LZH methods 1 to 3, or method 4.
  const uint32_t method = FUZZ_METHOD_BASE + data[0] % FUZZ_METHOD_COUNT;
#else
  const uint32_t method = data[0] % 5;
#endif
  uint32_t unpacked = 0;
  for (int i = 0; i < 4; ++i) unpacked |= static_cast<uint32_t>(data[1 + i]) << (8 * i);
  unpacked %= (4u << 20) + 1;
  Source in(data + 5, size - 5);
  Sink out;
  uint64_t written = 0;
  uint64_t unused = 0;
  const ResultCode r = arjrt::DecodeArjData(method, in, out, unpacked, &written, &unused);
  if (written != out.count || written > unpacked || (r == RESULT_OK && written != unpacked)) __builtin_trap();
  // Unused packed bytes are reported only once the whole output is out.
  if (unused != 0 && (r != ERR_CORRUPTED || written != unpacked)) __builtin_trap();
  return 0;
}
