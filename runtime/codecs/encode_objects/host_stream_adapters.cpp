#include "runtime/codecs/encode_objects/host_stream_adapters.h"

#include <algorithm>

namespace arjrt {
namespace {
constexpr size_t kMaxCall = uint32_t{1} << 30;  // one host call moves at most this much
}

int64_t HostStreamSource::Read(uint8_t* buffer, size_t size) {
  const auto wanted = static_cast<uint32_t>(std::min(size, kMaxCall));
  uint32_t count = 0;
  ResultCode r = host::Stream(stream_).Read(stream_, &count, buffer, wanted);
  if (Failed(r) && r != ERR_END_OF_DATA) return r;
  return std::min(count, wanted);
}

ResultCode HostStreamSink::Write(const uint8_t* data, size_t size) {
  while (size != 0) {
    const auto wanted = static_cast<uint32_t>(std::min(size, kMaxCall));
    uint32_t count = 0;
    ResultCode r = host::Stream(stream_).Write(stream_, &count, data, wanted);
    if (Failed(r)) return r;
    if (count != wanted) return ERR_IO;  // a stream that takes less than it is given has run out of room
    data += wanted;
    size -= wanted;
  }
  return RESULT_OK;
}

}  // namespace arjrt
