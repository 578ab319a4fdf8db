#include "runtime/codecs/decode/arj_decoder.h"

#include <memory>
#include <new>

#include "runtime/codecs/decode/fast_decoder.h"
#include "runtime/codecs/decode/input_buffer.h"
#include "runtime/codecs/decode/lzh_decoder.h"
#include "runtime/codecs/decode/output_window.h"
#include "runtime/codecs/decode/stored_copy.h"

namespace arjrt {

namespace {

constexpr uint32_t kMethodStored = 0;
constexpr uint32_t kMethodLzhFirst = 1;
constexpr uint32_t kMethodLzhLast = 3;
constexpr uint32_t kMethodFast = 4;

[[nodiscard]] ResultCode DecodeLz(uint32_t method, ByteSource& in, ByteSink& out, uint64_t unpacked_size,
                                  uint64_t* written) {
  const std::unique_ptr<InputBuffer> input(new (std::nothrow) InputBuffer(in));
  OutputWindow window(out, unpacked_size);
  if (!input || !window.Allocated()) return ERR_NO_MEMORY;
  const ResultCode r =
      method == kMethodFast ? DecodeFast(*input, window) : DecodeLzh(*input, window);
  *written = window.Written();
  return r;
}

}  // namespace

ResultCode DecodeArjData(uint32_t method, ByteSource& in, ByteSink& out, uint64_t unpacked_size,
                         uint64_t* written) {
  uint64_t count = 0;
  ResultCode r = ERR_UNSUPPORTED;
  if (method == kMethodStored) {
    r = CopyStored(in, out, unpacked_size, &count);
  } else if ((method >= kMethodLzhFirst && method <= kMethodLzhLast) || method == kMethodFast) {
    // Nothing to decode: do not insist on input an empty entry may lack.
    r = unpacked_size == 0 ? RESULT_OK : DecodeLz(method, in, out, unpacked_size, &count);
  }
  if (written != nullptr) *written = count;
  return r;
}

}  // namespace arjrt
