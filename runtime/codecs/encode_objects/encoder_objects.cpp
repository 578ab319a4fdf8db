// IID_CODEC encoders. Properties: PROP_CODEC_METHOD, PROP_CODEC_UNPACKED_SIZE
// (when set, the input must hold exactly that many bytes), PROP_CODEC_INPUT
// and PROP_CODEC_OUTPUT (streams). Process reads the input to its end and
// writes the packed bytes at the output's position, leaving it after them.
// With the size known, content that packing would not make smaller is
// stored, as arj does: PROP_CODEC_METHOD then reads 0. Content that the
// runtime packs ahead (runtime/codecs/parallel) is taken from there. Of a
// content file, what is packed must have the CRC of its first read, which
// the entry stores: else Process fails with ERR_CONTENT_CHANGED.
#include <iterator>
#include <optional>

#include "runtime/codecs/encode/arj_encoder.h"
#include "runtime/codecs/encode_objects/encoder_objects.h"
#include "runtime/codecs/host_stream_adapters.h"
#include "runtime/codecs/parallel/encode_ahead.h"
#include "runtime/core/runtime.h"
#include "runtime/services/content_file_io.h"
#include "runtime/services/service_support.h"

namespace arjrt {
namespace {

constexpr uint32_t kCodecMethodCount = 1;

template <bool kStore>
class Encoder {
 public:
  explicit Encoder(ObjectRef self) : self_(self) {}

  [[nodiscard]] ResultCode Finish() {
    if (input_ == nullptr || output_ == nullptr) return ERR_BAD_PARAMETER;
    const bool accepted = kStore ? method_ == 0 : method_ >= 1 && method_ <= 4;
    return accepted ? RESULT_OK : ERR_UNSUPPORTED;
  }

  [[nodiscard]] ResultCode Process(uint64_t* count) {
    if (count != nullptr) *count = 0;
    if (input_ == nullptr || output_ == nullptr) return ERR_NOT_INITIALIZED;
    StreamSource in(input_);
    StreamSink out(output_, false);
    uint64_t written = 0, read = 0;
    uint32_t crc = 0;
    ResultCode r =
        method_ == 0 ? EncodeArjData(0, in, out, &written, &read, &crc) : Pack(in, out, &written, &read, &crc);
    if (count != nullptr) *count = written;
    if (Failed(r)) return r;
    // Content that changed size under us would not match its header.
    if (size_known_ && read != unpacked_size_) return ERR_CORRUPTED;
    const std::optional<uint32_t> first_read = ContentCrc();
    if (first_read && *first_read != crc) return ERR_CONTENT_CHANGED;
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

  // Packs with method_ (1..4), or stores when that comes to no less.
  [[nodiscard]] ResultCode Pack(StreamSource& in, StreamSink& out, uint64_t* written, uint64_t* read, uint32_t* crc) {
    const StreamMethods& output = host::Stream(output_);
    uint64_t start = 0;
    ResultCode r = output.Seek(output_, &start, 0, SEEK_FORWARD);
    if (Failed(r)) return r;
    std::unique_ptr<PackedChunkSource> ahead = ClaimAhead();
    std::optional<InlineChunks> here;
    if (!ahead) here.emplace(method_, in);
    PackedChunkSource& chunks = ahead ? *ahead : static_cast<PackedChunkSource&>(*here);
    bool store = false;
    r = JoinChunks(chunks, out, size_known_ ? unpacked_size_ : UINT64_MAX, written, read, &store, crc);
    if (Failed(r) || !store) return r;
    // Fewer bytes than the content's were written: storing covers them all.
    uint64_t at = 0;
    if (Failed(r = output.Seek(output_, &at, start, SEEK_FROM_START))) return r;
    if (Failed(r = host::Stream(input_).SetPosition(input_, 0, 0, 0))) return r;
    method_ = 0;
    return EncodeArjData(0, in, out, written, read, crc);
  }

  // The content file our input streams, if it is one.
  ObjectRef ContentFile() const {
    const RtObject* source = AsRt(input_)->parent;
    if (source == nullptr || source->impl->pid != PID_CONTENT_FILE_IO) return nullptr;
    return const_cast<RtObject*>(source);
  }

  // The CRC of the content file's first read, which its entry stores.
  std::optional<uint32_t> ContentCrc() const {
    ObjectRef file = ContentFile();
    uint32_t crc = 0, length = 0;
    if (file == nullptr || Failed(file->system->GetPropBuffer(file, &length, PROP_CONTENT_CRC, &crc, sizeof crc)) ||
        length != sizeof crc)
      return std::nullopt;
    return crc;
  }

  // The chunks packed ahead for our input, when it is a content file the
  // runtime packs ahead.
  std::unique_ptr<PackedChunkSource> ClaimAhead() const {
    EncodeAhead* ahead = AsRt(self_)->runtime->encode_ahead();
    ObjectRef file = ContentFile();
    if (ahead == nullptr || !size_known_ || file == nullptr) return nullptr;
    char path[4096];
    uint32_t length = 0;
    if (Failed(file->system->GetPropBuffer(file, &length, PROP_OBJECT_PATH, path, sizeof path)) || length == 0 ||
        length > sizeof path)
      return nullptr;
    return ahead->Claim(std::string(path, strnlen(path, length)), method_, unpacked_size_);
  }

  ObjectRef self_;
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
