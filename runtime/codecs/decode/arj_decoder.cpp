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
                                  uint64_t* written, uint64_t* unused) {
  const std::unique_ptr<InputBuffer> input(new (std::nothrow) InputBuffer(in));
  if (!input) return ERR_NO_MEMORY;
  ResultCode r = RESULT_OK;
  if (unpacked_size == 0) {
    // Nothing to decode, so no input is needed; but arj fails an entry
    // whose packed data runs on regardless.
    r = input->CheckEnd(input->Data());
  } else {
    OutputWindow window(out, unpacked_size);
    if (!window.Allocated()) return ERR_NO_MEMORY;
    r = method == kMethodFast ? DecodeFast(*input, window) : DecodeLzh(*input, window);
    *written = window.Written();
  }
  *unused = input->Unused();
  return r;
}

}  // namespace

ResultCode DecodeArjData(uint32_t method, ByteSource& in, ByteSink& out, uint64_t unpacked_size,
                         uint64_t* written, uint64_t* unused) {
  uint64_t count = 0;
  uint64_t rest = 0;
  ResultCode r = ERR_UNSUPPORTED;
  if (method == kMethodStored) {
    r = CopyStored(in, out, unpacked_size, &count, &rest);
  } else if ((method >= kMethodLzhFirst && method <= kMethodLzhLast) || method == kMethodFast) {
    r = DecodeLz(method, in, out, unpacked_size, &count, &rest);
  }
  if (written != nullptr) *written = count;
  if (unused != nullptr) *unused = rest;
  return r;
}

}  // namespace arjrt
