// IID_CODEC: the ARJ decoders as host objects. Process decodes the whole
// input stream into the output stream, a window and the streams' buffers
// at a time, and flushes the output so that its I/O holds every byte when
// Process returns.
#include "runtime/codecs/decoder_codec.h"

#include <cstdint>
#include <cstring>
#include <iterator>

#include "runtime/codecs/decode/arj_decoder.h"
#include "runtime/codecs/decoder_messages.h"
#include "runtime/codecs/host_stream_adapters.h"
#include "runtime/core/runtime.h"
#include "runtime/services/service_support.h"
#include "runtime/services/services.h"

namespace arjrt {
namespace {

constexpr uint32_t kMethodStored = 0;
constexpr uint32_t kFirstPackedMethod = 1;
constexpr uint32_t kLastPackedMethod = 4;

class DecoderCodec {
 public:
  explicit DecoderCodec(ObjectRef self) : self_(self), pid_(AsRt(self)->impl->pid) {}

  [[nodiscard]] ResultCode Finish() {
    finished_ = false;
    if (!IsStream(input_) || !IsStream(output_)) return ERR_NOT_INITIALIZED;
    if (!MethodSuitsDecoder()) return ERR_UNSUPPORTED;
    finished_ = true;
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode Process(uint64_t* count) {
    if (count != nullptr) *count = 0;
    output_crc_ = 0;
    // The streams are the caller's; either may have closed since.
    if (!finished_ || !IsStream(input_) || !IsStream(output_)) return ERR_NOT_INITIALIZED;
    StreamSource source(input_);
    StreamSink sink(output_);
    uint64_t written = 0;
    uint64_t unused = 0;
    ResultCode result = DecodeArjData(method_, source, sink, unpacked_size_, &written, &unused);
    if (unused != 0) ReportUnused(unused);
    output_crc_ = sink.crc();
    if (count != nullptr) *count = written;
    // Flushed on failure too: what was decoded up to a fault is readable.
    const ResultCode flushed = host::Stream(output_).Flush(output_);
    return Failed(result) ? result : (Failed(flushed) ? flushed : RESULT_OK);
  }

  [[nodiscard]] ResultCode GetProperty(PropId id, void* buffer, uint32_t size, uint32_t* length) {
    switch (id) {
      case PROP_CODEC_METHOD:
        return PropertyOut(&method_, sizeof method_, buffer, size, length);
      case PROP_CODEC_UNPACKED_SIZE:
        return PropertyOut(&unpacked_size_, sizeof unpacked_size_, buffer, size, length);
      case PROP_CODEC_INPUT:
        return PropertyOut(&input_, sizeof input_, buffer, size, length);
      case PROP_CODEC_OUTPUT:
        return PropertyOut(&output_, sizeof output_, buffer, size, length);
      case PROP_CODEC_OUTPUT_CRC:
        return PropertyOut(&output_crc_, sizeof output_crc_, buffer, size, length);
      default:
        return ERR_PROPERTY_UNAVAILABLE;
    }
  }

  [[nodiscard]] ResultCode SetProperty(PropId id, const void* buffer, uint32_t size) {
    switch (id) {
      case PROP_CODEC_METHOD:
        method_ = static_cast<uint32_t>(PropertyIn(buffer, size));
        break;
      case PROP_CODEC_UNPACKED_SIZE:
        unpacked_size_ = PropertyIn(buffer, size);
        break;
      case PROP_CODEC_INPUT:
      case PROP_CODEC_OUTPUT: {
        if (buffer == nullptr || size != sizeof(ObjectRef)) return ERR_BAD_PARAMETER;
        ObjectRef value = nullptr;
        std::memcpy(&value, buffer, sizeof value);
        (id == PROP_CODEC_INPUT ? input_ : output_) = value;
        break;
      }
      default:
        return ERR_ACCESS_DENIED;
    }
    finished_ = false;  // a changed setup is checked again at CreateObjectDone
    return RESULT_OK;
  }

 private:
  bool IsStream(ObjectRef o) const {
    return o != nullptr && AsRt(self_)->runtime->IsLive(o) && AsRt(o)->impl->iid == IID_STREAM &&
           o->methods != nullptr;
  }

  // The result code says only "damaged"; whoever shows the failure may
  // want to say how.
  void ReportUnused(uint64_t unused) {
    uint32_t length = sizeof unused;
    // A notice: the decoding failed either way, with or without a listener.
    IgnoreResult(
        AsRt(self_)->runtime->Deliver({self_, kMsgClassDecoder, kMsgUnusedPackedData, nullptr, &unused, &length}));
  }

  bool MethodSuitsDecoder() const {
    if (pid_ == PID_STORE_DECODER) return method_ == kMethodStored;
    return method_ >= kFirstPackedMethod && method_ <= kLastPackedMethod;
  }

  ObjectRef self_;
  uint32_t pid_;
  uint32_t method_ = 0;
  uint64_t unpacked_size_ = 0;
  ObjectRef input_ = nullptr;
  ObjectRef output_ = nullptr;
  uint32_t output_crc_ = 0;
  bool finished_ = false;
};

[[nodiscard]] ResultCode Process(ObjectRef self, uint64_t* count) { return ImplOf<DecoderCodec>(self).Process(count); }

const CodecMethods kMethods = {Process};
constexpr InternalHooks kHooks = ServiceHooks<DecoderCodec>();
const PropertyRow kProperties[] = {
    ServiceProperty<DecoderCodec>(PROP_CODEC_METHOD), ServiceProperty<DecoderCodec>(PROP_CODEC_UNPACKED_SIZE),
    ServiceProperty<DecoderCodec>(PROP_CODEC_INPUT),  ServiceProperty<DecoderCodec>(PROP_CODEC_OUTPUT),
    ServiceProperty<DecoderCodec>(PROP_CODEC_OUTPUT_CRC),
};

[[nodiscard]] ResultCode Register(ObjectRef root, uint32_t pid) {
  return RegisterService(root, IID_CODEC, pid, kHooks, &kMethods, 1, kProperties, std::size(kProperties),
                         sizeof(ServiceRecord<DecoderCodec>));
}

}  // namespace

ResultCode RegisterDecoderCodecs(ObjectRef root) {
  ResultCode result = Register(root, PID_STORE_DECODER);
  return Failed(result) ? result : Register(root, PID_ARJ_DECODER);
}

}  // namespace arjrt
