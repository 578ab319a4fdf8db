// The output stream of a rebuild, with every write, seek, read-back and
// flush checked and the position tracked: a full disk or a refusing stream
// must fail the rebuild, never leave a short archive behind a success.
#pragma once

#include <cstdint>

#include "plugin/format/header_writer.h"
#include "plugin/host/host_objects.h"

struct OutputStream {
  ObjectRef stream = nullptr;
  uint64_t position = 0;     // where the next byte goes
  ObjectRef target = nullptr;  // the I/O object the stream writes, where garbling reads back
};

// Each returns 0, or the stream's error (ERR_IO when the stream claims
// success but moved fewer bytes than asked).
[[nodiscard]] ResultCode WriteBytes(OutputStream& out, const void* buffer, uint32_t size);
[[nodiscard]] ResultCode WriteWord16(OutputStream& out, uint16_t value);
[[nodiscard]] ResultCode WriteDWord32(OutputStream& out, uint32_t value);
[[nodiscard]] ResultCode SeekForward(OutputStream& out, uint64_t offset);
[[nodiscard]] ResultCode SeekBackward(OutputStream& out, uint64_t offset);
// Reads back `size` bytes just written, at the position, and moves past them.
[[nodiscard]] ResultCode ReadBack(OutputStream& out, void* buffer, uint32_t size);
[[nodiscard]] ResultCode FlushOutput(OutputStream& out);

// The output as the format module's header writer writes to it.
struct HeaderOutput {
  OutputStream& out;
  ResultCode error = RESULT_OK;  // the stream's, once a write failed

  arjhost::format::ByteWriter Writer() { return {this, Write}; }
  // Why the writer stopped: the stream's error, else `layout_error` (the
  // header's pieces did not make one).
  [[nodiscard]] ResultCode Failure(ResultCode layout_error) const { return Failed(error) ? error : layout_error; }

 private:
  static bool Write(void* context, const void* bytes, uint32_t size);
};
