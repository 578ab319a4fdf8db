// IID_CODEC encoders. Properties: PROP_CODEC_METHOD, PROP_CODEC_UNPACKED_SIZE
// (when set, the input must hold exactly that many bytes), PROP_CODEC_INPUT
// and PROP_CODEC_OUTPUT (streams). Process reads the input to its end and
// writes the packed bytes at the output's position, leaving it after them.
#include <iterator>

#include "runtime/codecs/encode/arj_encoder.h"
#include "runtime/codecs/encode_objects/encoder_objects.h"
#include "runtime/codecs/host_stream_adapters.h"
#include "runtime/services/service_support.h"

namespace arjrt {
namespace {

constexpr uint32_t kCodecMethodCount = 1;

template <bool kStore>
class Encoder {
 public:
  explicit Encoder(ObjectRef) {}

  [[nodiscard]] ResultCode Finish() {
    if (input_ == nullptr || output_ == nullptr) return ERR_BAD_PARAMETER;
    const bool accepted = kStore ? method_ == 0 : method_ >= 1 && method_ <= 4;
    return accepted ? RESULT_OK : ERR_UNSUPPORTED;
  }

  [[nodiscard]] ResultCode Process(uint64_t* count) {
    if (count != nullptr) *count = 0;
    if (input_ == nullptr || output_ == nullptr) return ERR_NOT_INITIALIZED;
    StreamSource in(input_);
    StreamSink out(output_);
    uint64_t written = 0, read = 0;
    ResultCode r = EncodeArjData(method_, in, out, &written, &read);
    if (count != nullptr) *count = written;
    if (Failed(r)) return r;
    // Content that changed size under us would not match its header.
    if (size_known_ && read != unpacked_size_) return ERR_CORRUPTED;
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode GetProperty(PropId id, void* buffer, uint32_t size, uint32_t* length) {
    switch (id) {
      case PROP_CODEC_METHOD:
        return PropertyOut(&method_, sizeof method_, buffer, size, length);
      case PROP_CODEC_UNPACKED_SIZE:
        return PropertyOut(&unpacked_size_, sizeof unpacked_size_, buffer, size, length);
      default:
        return ERR_PROPERTY_UNAVAILABLE;
    }
  }

  [[nodiscard]] ResultCode SetProperty(PropId id, const void* buffer, uint32_t size) {
    switch (id) {
      case PROP_CODEC_METHOD:
        method_ = static_cast<uint32_t>(PropertyIn(buffer, size));
        return RESULT_OK;
      case PROP_CODEC_UNPACKED_SIZE:
        unpacked_size_ = PropertyIn(buffer, size);
        size_known_ = true;
        return RESULT_OK;
      case PROP_CODEC_INPUT:
        return SetStream(buffer, size, &input_);
      case PROP_CODEC_OUTPUT:
        return SetStream(buffer, size, &output_);
      default:
        return ERR_ACCESS_DENIED;
    }
  }

 private:
  [[nodiscard]] static ResultCode SetStream(const void* buffer, uint32_t size, ObjectRef* field) {
    ObjectRef stream = nullptr;
    if (buffer == nullptr || size != sizeof stream) return ERR_BAD_PARAMETER;
    std::memcpy(&stream, buffer, sizeof stream);
    if (stream != nullptr && stream->system->GetInterfaceId(stream) != IID_STREAM) return ERR_BAD_PARAMETER;
    *field = stream;
    return RESULT_OK;
  }

  uint32_t method_ = kStore ? 0 : 1;
  uint64_t unpacked_size_ = 0;
  bool size_known_ = false;
  ObjectRef input_ = nullptr;
  ObjectRef output_ = nullptr;
};

template <bool kStore>
[[nodiscard]] ResultCode Process(ObjectRef self, uint64_t* count) {
  return ImplOf<Encoder<kStore>>(self).Process(count);
}

template <bool kStore>
struct EncoderTables {
  using Impl = Encoder<kStore>;
  static constexpr CodecMethods kMethods = {Process<kStore>};
  static constexpr InternalHooks kHooks = ServiceHooks<Impl>();
  static constexpr PropertyRow kProperties[] = {
      ServiceProperty<Impl>(PROP_CODEC_METHOD),
      ServiceProperty<Impl>(PROP_CODEC_UNPACKED_SIZE),
      ServiceProperty<Impl>(PROP_CODEC_INPUT),
      ServiceProperty<Impl>(PROP_CODEC_OUTPUT),
  };

  [[nodiscard]] static ResultCode Register(ObjectRef root, uint32_t pid) {
    return RegisterService(root, IID_CODEC, pid, kHooks, &kMethods, kCodecMethodCount, kProperties,
                           std::size(kProperties), sizeof(ServiceRecord<Impl>));
  }
};

}  // namespace

ResultCode RegisterEncoderServices(ObjectRef root) {
  ResultCode r = EncoderTables<true>::Register(root, PID_STORE_ENCODER);
  if (Failed(r)) return r;
  return EncoderTables<false>::Register(root, PID_ARJ_ENCODER);
}

}  // namespace arjrt
