// The host's IID_STREAM objects as the codecs' byte source and sink.
#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin/host/host_objects.h"
#include "runtime/codecs/codec_io.h"

namespace arjrt {

// Reads through StreamMethods::Read. A short read or ERR_END_OF_DATA with
// nothing delivered is the end of the input, not a failure.
class StreamSource : public ByteSource {
 public:
  explicit StreamSource(ObjectRef stream) : stream_(stream) {}
  int64_t Read(uint8_t* buffer, size_t size) override;

 private:
  ObjectRef stream_;
};

// Writes through StreamMethods::Write and keeps the CRC-32 and the count of
// what it wrote (the CRC only when asked: encoders need none). A write that
// takes fewer bytes than given fails with ERR_IO.
class StreamSink : public ByteSink {
 public:
  explicit StreamSink(ObjectRef stream, bool with_crc = true) : stream_(stream), with_crc_(with_crc) {}
  [[nodiscard]] ResultCode Write(const uint8_t* data, size_t size) override;
  uint32_t crc() const { return crc_; }

 private:
  ObjectRef stream_;
  bool with_crc_;
  uint32_t crc_ = 0;
};

}  // namespace arjrt
