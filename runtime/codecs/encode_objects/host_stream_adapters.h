// A host stream (IID_STREAM) seen as the codecs' ByteSource or ByteSink.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"
#include "runtime/codecs/codec_io.h"

namespace arjrt {

class HostStreamSource : public ByteSource {
 public:
  explicit HostStreamSource(ObjectRef stream) : stream_(stream) {}
  int64_t Read(uint8_t* buffer, size_t size) override;

 private:
  ObjectRef stream_;
};

class HostStreamSink : public ByteSink {
 public:
  explicit HostStreamSink(ObjectRef stream) : stream_(stream) {}
  ResultCode Write(const uint8_t* data, size_t size) override;

 private:
  ObjectRef stream_;
};

}  // namespace arjrt
