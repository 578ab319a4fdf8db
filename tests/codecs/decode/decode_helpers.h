// Shorthands for running the decoder over memory in tests.
#pragma once

#include <cstdint>
#include <vector>

#include "plugin/format/crc32.h"
#include "runtime/codecs/decode/arj_decoder.h"
#include "tests/codecs/decode/memory_streams.h"

namespace arjrt::test {

struct DecodeOutcome {
  ResultCode result = RESULT_OK;
  uint64_t written = 0;
  uint64_t unused = 0;  // packed bytes after the end of the stream, when they are the fault
  std::vector<uint8_t> bytes;
};

inline DecodeOutcome DecodeBytes(uint32_t method, const std::vector<uint8_t>& packed, uint64_t size,
                                 size_t max_read = SIZE_MAX) {
  MemorySource in(packed, max_read);
  VectorSink out;
  DecodeOutcome o;
  o.result = DecodeArjData(method, in, out, size, &o.written, &o.unused);
  o.bytes = std::move(out.bytes);
  return o;
}

inline uint32_t Crc32Of(const std::vector<uint8_t>& bytes) {
  return Crc32Update(bytes.size(), bytes.data(), 0);
}

// The packed bytes arj accepts after the last bit its decoder takes,
// whatever that bit's place in its byte: none after a stored entry's
// bytes, two after a packed stream; it fails the entry on more. Its own
// streams end on the last byte they use. (Measured with arj 3.10 on
// streams ending at every bit position, with up to 8 bytes added.)
inline uint64_t ArjToleratedUnused(uint32_t method) { return method == 0 ? 0 : 2; }

// MSB-first bit writer for hand-made streams.
class BitWriter {
 public:
  BitWriter& Put(uint32_t value, unsigned bits) {
    for (unsigned i = bits; i-- > 0;) {
      if (fill_ == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> fill_);
      fill_ = (fill_ + 1) & 7;
    }
    return *this;
  }
  std::vector<uint8_t> Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  unsigned fill_ = 0;
};

}  // namespace arjrt::test
