// IID_TEXT: a string held as UTF-8, converted at the edges from and to the
// code page each caller names. Characters are UTF-8 sequences; a stray byte
// (names stored in a DOS page pass through unchanged) counts as one.
#include <cstdint>
#include <cstring>
#include <iterator>
#include <new>
#include <string>
#include <string_view>

#include "runtime/common/codepage.h"
#include "runtime/common/utf8.h"
#include "runtime/services/service_support.h"
#include "runtime/services/services.h"

namespace arjrt {
namespace {

bool PassesBytesUnchanged(int32_t codepage) {
  return codepage == CP_ENTRY_NAMES || codepage == CP_HOST_PATHS || codepage == CP_UTF8;
}

bool IsDosPage(int32_t codepage) { return codepage == 437 || codepage == 850 || codepage == 866; }

class Text {
 public:
  explicit Text(ObjectRef) {}

  [[nodiscard]] ResultCode SetFromBuffer(uint32_t start, const char* buffer, uint32_t length, int32_t codepage) {
    if (buffer == nullptr && length != 0) return ERR_BAD_PARAMETER;
    if (!PassesBytesUnchanged(codepage) && !IsDosPage(codepage)) return ERR_UNSUPPORTED;
    const void* nul = length != 0 ? std::memchr(buffer, 0, length) : nullptr;
    std::string_view bytes(buffer != nullptr ? buffer : "",
                           nul != nullptr ? static_cast<size_t>(static_cast<const char*>(nul) - buffer) : length);
    try {
      std::string added = IsDosPage(codepage) ? DecodeToUtf8(bytes, codepage) : std::string(bytes);
      utf8_.resize(ByteOffsetOf(start));
      utf8_ += added;
    } catch (const std::exception&) {
      return ERR_NO_MEMORY;
    }
    return RESULT_OK;
  }

  // count 0 copies everything from `start`, as UINT32_MAX does.
  [[nodiscard]] ResultCode CopyToBuffer(uint32_t start, uint32_t count, char* buffer, uint32_t size,
                                        int32_t codepage) const {
    if (size == 0) return ERR_BUFFER_TOO_SMALL;
    if (buffer == nullptr) return ERR_BAD_PARAMETER;
    buffer[0] = '\0';
    const bool dos = IsDosPage(codepage);
    if (!dos && !PassesBytesUnchanged(codepage)) return ERR_UNSUPPORTED;
    uint32_t written = 0;
    std::string encoded;
    uint64_t remaining = count == 0 ? UINT64_MAX : count;
    for (size_t pos = ByteOffsetOf(start); pos < utf8_.size() && remaining != 0; --remaining) {
      const Utf8Step step = DecodeUtf8Step(utf8_, pos);
      std::string_view character(utf8_.data() + pos, step.length);
      pos += step.length;
      if (dos) {
        try {
          if (!step.valid || !EncodeFromUtf8(character, codepage, &encoded)) encoded.assign(1, '?');
        } catch (const std::exception&) {
          return ERR_NO_MEMORY;
        }
        character = encoded;
      }
      if (character.size() >= size - written) {  // no room for it and the NUL
        buffer[written] = '\0';
        return ERR_BUFFER_TOO_SMALL;
      }
      std::memcpy(buffer + written, character.data(), character.size());
      written += static_cast<uint32_t>(character.size());
    }
    buffer[written] = '\0';
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode GetProperty(PropId id, void* buffer, uint32_t size, uint32_t* length) {
    if (id != PROP_TEXT_VALUE) return ERR_PROPERTY_UNAVAILABLE;
    return StringPropertyOut(utf8_, buffer, size, length);
  }

  [[nodiscard]] ResultCode SetProperty(PropId id, const void* buffer, uint32_t size) {
    if (id != PROP_TEXT_VALUE) return ERR_ACCESS_DENIED;
    return StringPropertyIn(buffer, size, &utf8_);
  }

 private:
  // Byte offset of character `index`, or the end when the text is shorter.
  size_t ByteOffsetOf(uint32_t index) const {
    size_t pos = 0;
    for (; index != 0 && pos < utf8_.size(); --index) pos += DecodeUtf8Step(utf8_, pos).length;
    return pos;
  }

  std::string utf8_;
};

[[nodiscard]] ResultCode SetFromBuffer(ObjectRef self, uint32_t start, const char* buffer, uint32_t length,
                                       int32_t codepage, uint32_t) {
  return ImplOf<Text>(self).SetFromBuffer(start, buffer, length, codepage);
}
[[nodiscard]] ResultCode CopyToBuffer(ObjectRef self, uint32_t start, uint32_t count, char* buffer, uint32_t size,
                                      int32_t codepage, uint32_t) {
  return ImplOf<Text>(self).CopyToBuffer(start, count, buffer, size, codepage);
}

const TextMethods kMethods = {SetFromBuffer, CopyToBuffer};
constexpr InternalHooks kHooks = ServiceHooks<Text, false>();
const PropertyRow kProperties[] = {ServiceProperty<Text>(PROP_TEXT_VALUE)};

}  // namespace

ResultCode RegisterTextService(ObjectRef root) {
  return RegisterService(root, IID_TEXT, PID_TEXT, kHooks, &kMethods, 2, kProperties, std::size(kProperties),
                         sizeof(ServiceRecord<Text>));
}

}  // namespace arjrt
