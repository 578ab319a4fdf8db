#include "runtime/codecs/host_stream_adapters.h"

#include <algorithm>

#include "plugin/format/crc32.h"

namespace arjrt {
namespace {

// Large enough for any codec buffer, small enough for a 32-bit count.
constexpr size_t kMaxTransfer = size_t{1} << 30;

}  // namespace

int64_t StreamSource::Read(uint8_t* buffer, size_t size) {
  const auto wanted = static_cast<uint32_t>(std::min(size, kMaxTransfer));
  uint32_t got = 0;
  const ResultCode result = host::Stream(stream_).Read(stream_, &got, buffer, wanted);
  got = std::min(got, wanted);
  if (got != 0) return got;
  if (result == ERR_END_OF_DATA || result == WARN_SHORT_READ || !Failed(result)) return 0;
  return result;
}

ResultCode StreamSink::Write(const uint8_t* data, size_t size) {
  while (size != 0) {
    const auto n = static_cast<uint32_t>(std::min(size, kMaxTransfer));
    uint32_t done = 0;
    const ResultCode result = host::Stream(stream_).Write(stream_, &done, data, n);
    done = std::min(done, n);
    if (with_crc_) crc_ = arjhost::format::Crc32Update(done, data, crc_);
    if (Failed(result)) return result;
    if (done != n) return ERR_IO;
    data += n;
    size -= n;
  }
  return RESULT_OK;
}

}  // namespace arjrt
