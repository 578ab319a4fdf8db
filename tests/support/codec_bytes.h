// The ARJ codecs over memory, in one call each, and hand-made bit streams.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "runtime/codecs/decode/arj_decoder.h"
#include "runtime/codecs/encode/arj_encoder.h"
#include "tests/support/archive_parser.h"
#include "tests/support/memory_streams.h"

namespace testing_support {

struct DecodeOutcome {
  ResultCode result = RESULT_OK;
  uint64_t written = 0;
  uint64_t unused = 0;  // packed bytes after the end of the stream, when they are the fault
  Bytes bytes;
};

inline DecodeOutcome DecodeBytes(uint32_t method, const Bytes& packed, uint64_t size, size_t max_read = SIZE_MAX) {
  MemorySource in(packed, max_read);
  MemorySink out;
  DecodeOutcome o;
  o.result = arjrt::DecodeArjData(method, in, out, size, &o.written, &o.unused);
  o.bytes = std::move(out.bytes);
  return o;
}

struct Encoded {
  ResultCode result = RESULT_OK;
  Bytes packed;
  uint64_t packed_written = 0;
  uint64_t unpacked_read = 0;
  uint32_t unpacked_crc = 0;
};

inline Encoded EncodeBytes(uint32_t method, const Bytes& data, size_t read_chunk = SIZE_MAX) {
  MemorySource source(data, read_chunk);
  MemorySink sink;
  Encoded e;
  e.result = arjrt::EncodeArjData(method, source, sink, &e.packed_written, &e.unpacked_read, &e.unpacked_crc);
  e.packed = std::move(sink.bytes);
  return e;
}

// The entry's content, through our decoders; nullopt when they refuse it or
// its CRC does not match.
inline std::optional<Bytes> Unpack(const ParsedEntry& e) {
  DecodeOutcome o = DecodeBytes(e.method(), e.packed, e.original_size());
  if (Failed(o.result) || Crc32Of(o.bytes) != e.crc()) return std::nullopt;
  return std::move(o.bytes);
}

// The packed bytes arj accepts after the last bit its decoder takes,
// whatever that bit's place in its byte: none after a stored entry's
// bytes, two after a packed stream; it fails the entry on more. Its own
// streams end on the last byte they use. (Measured with arj 3.10 on
// streams ending at every bit position, with up to 8 bytes added.)
inline uint64_t ArjToleratedUnused(uint32_t method) { return method == 0 ? 0 : 2; }

// MSB-first bit writer for hand-made streams.
class MsbBitWriter {
 public:
  MsbBitWriter& Put(uint32_t value, unsigned bits) {
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

}  // namespace testing_support
