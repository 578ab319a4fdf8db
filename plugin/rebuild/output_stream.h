// The output stream of a rebuild, with every write, seek, read-back and
// flush checked and the position tracked: a full disk or a refusing stream
// must fail the rebuild, never leave a short archive behind a success.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"

struct OutputStream {
  ObjectRef stream = nullptr;
  uint64_t position = 0;  // where the next byte goes
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
