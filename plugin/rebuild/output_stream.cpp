#include "plugin/rebuild/output_stream.h"

namespace {

[[nodiscard]] ResultCode Moved(ResultCode result, uint64_t done, uint64_t wanted) {
  if (Failed(result)) return result;
  return done == wanted ? RESULT_OK : ERR_IO;
}

// The stream reports where it stands; it must be where we think it is.
[[nodiscard]] ResultCode SeekTo(OutputStream& out, uint64_t offset, uint32_t origin, uint64_t target) {
  uint64_t at = ~uint64_t{0};
  ResultCode r = host::Stream(out.stream).Seek(out.stream, &at, offset, origin);
  if (Failed(r)) return r;
  if (at != target) return ERR_IO;
  out.position = target;
  return RESULT_OK;
}

}  // namespace

ResultCode WriteBytes(OutputStream& out, const void* buffer, uint32_t size) {
  if (size == 0) return RESULT_OK;
  uint32_t count = 0;
  ResultCode r = host::Stream(out.stream).Write(out.stream, &count, buffer, size);
  r = Moved(r, count, size);
  if (!Failed(r)) out.position += size;
  return r;
}

ResultCode WriteWord16(OutputStream& out, uint16_t value) {
  ResultCode r = host::Stream(out.stream).WriteWord(out.stream, value);
  if (Failed(r)) return r;
  out.position += 2;
  return RESULT_OK;
}

ResultCode WriteDWord32(OutputStream& out, uint32_t value) {
  ResultCode r = host::Stream(out.stream).WriteDWord(out.stream, value);
  if (Failed(r)) return r;
  out.position += 4;
  return RESULT_OK;
}

ResultCode SeekForward(OutputStream& out, uint64_t offset) {
  if (offset > ~uint64_t{0} - out.position) return ERR_BAD_PARAMETER;
  return SeekTo(out, offset, SEEK_FORWARD, out.position + offset);
}

ResultCode SeekBackward(OutputStream& out, uint64_t offset) {
  if (offset > out.position) return ERR_BAD_PARAMETER;
  return SeekTo(out, offset, SEEK_BACKWARD, out.position - offset);
}

ResultCode ReadBack(OutputStream& out, void* buffer, uint32_t size) {
  uint32_t count = 0;
  ResultCode r = host::Stream(out.stream).Read(out.stream, &count, buffer, size);
  r = Moved(r, count, size);
  if (!Failed(r)) out.position += size;
  return r;
}

ResultCode FlushOutput(OutputStream& out) { return host::Stream(out.stream).Flush(out.stream); }

bool HeaderOutput::Write(void* context, const void* bytes, uint32_t size) {
  auto* self = static_cast<HeaderOutput*>(context);
  self->error = WriteBytes(self->out, bytes, size);
  return !Failed(self->error);
}
