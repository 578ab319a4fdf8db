// IID_DIGEST: MD5 (the default) and CRC-32 over the bytes handed to
// DigestUpdate. DigestFinal reads the digest without ending the message, so
// a later update continues it; DigestReset starts a new one.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "plugin/format/crc32.h"
#include "runtime/common/md5.h"
#include "runtime/services/service_support.h"
#include "runtime/services/services.h"

namespace arjrt {
namespace {

struct Md5Digest {
  static constexpr uint32_t kSize = 16;
  explicit Md5Digest(ObjectRef) {}
  void Reset() { md5.Reset(); }
  void Update(const void* data, uint32_t length) { md5.Update(data, length); }
  void Final(uint8_t out[kSize]) const {
    Md5 copy = md5;
    copy.Final(out);
  }
  Md5 md5;
};

struct Crc32Digest {
  static constexpr uint32_t kSize = 4;
  explicit Crc32Digest(ObjectRef) {}
  void Reset() { crc = 0; }
  void Update(const void* data, uint32_t length) { crc = arjhost::format::Crc32Update(length, data, crc); }
  void Final(uint8_t out[kSize]) const {
    for (uint32_t i = 0; i < kSize; ++i) out[i] = static_cast<uint8_t>(crc >> (8 * i));
  }
  uint32_t crc = 0;
};

template <class Digest>
[[nodiscard]] ResultCode DigestReset(ObjectRef self) {
  ImplOf<Digest>(self).Reset();
  return RESULT_OK;
}

template <class Digest>
[[nodiscard]] ResultCode DigestUpdate(ObjectRef self, const void* buffer, uint32_t length) {
  if (length == 0) return RESULT_OK;
  if (buffer == nullptr) return ERR_BAD_PARAMETER;
  ImplOf<Digest>(self).Update(buffer, length);
  return RESULT_OK;
}

template <class Digest>
[[nodiscard]] ResultCode DigestFinal(ObjectRef self, void* buffer, uint32_t size) {
  if (size == 0) return RESULT_OK;
  if (buffer == nullptr) return ERR_BAD_PARAMETER;
  uint8_t digest[Digest::kSize];
  ImplOf<Digest>(self).Final(digest);
  const uint32_t n = std::min(size, Digest::kSize);
  std::memcpy(buffer, digest, n);
  std::memset(static_cast<uint8_t*>(buffer) + n, 0, size - n);
  return RESULT_OK;
}

template <class Digest>
constexpr DigestMethods kMethods = {DigestReset<Digest>, DigestUpdate<Digest>, DigestFinal<Digest>};

template <class Digest>
[[nodiscard]] ResultCode Register(ObjectRef root, uint32_t pid) {
  static constexpr InternalHooks kHooks = ServiceHooks<Digest, false>();
  return RegisterService(root, IID_DIGEST, pid, kHooks, &kMethods<Digest>, 3, nullptr, 0,
                         sizeof(ServiceRecord<Digest>));
}

}  // namespace

ResultCode RegisterDigestServices(ObjectRef root) {
  ResultCode result = Register<Md5Digest>(root, PID_DIGEST);
  if (Failed(result)) return result;
  return Register<Crc32Digest>(root, PID_CRC32_DIGEST);
}

}  // namespace arjrt
