// Copying stored bytes of the old archive into the new one: by the host
// where it offers to (IID_RANGE_COPY), else through a buffer.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"
#include "plugin/rebuild/output_stream.h"

// Large: a host stream passes reads and writes of this size straight to its
// I/O rather than through its own buffer.
constexpr uint32_t kCopyChunk = 256 * 1024;

// Copies `size` bytes from `offset` of the `source` stream to the output's
// position, `kCopyChunk` bytes at a time through `buffer`. A source that
// ends early is ERR_CORRUPTED: the header written before these bytes
// claims all of them. With `crc`, the CRC-32 of the bytes copied is
// carried on from *crc.
[[nodiscard]] ResultCode CopyRange(uint8_t* buffer, ObjectRef source, uint64_t offset, uint64_t size,
                                   OutputStream& out, uint32_t* crc = nullptr);

// The old archive's bytes as a rebuild copies them unread: by the host's
// copier while it has one, else as CopyRange does.
struct KeptBytes {
  ObjectRef source = nullptr;  // the archive stream
  uint8_t* buffer = nullptr;   // kCopyChunk bytes
  ObjectRef host_copier = nullptr;  // closed at the host's first refusal
};

// Asks the host for a copier of `kept.source`; without one every copy goes
// through the buffer.
void AskForHostCopier(KeptBytes& kept);
void CloseHostCopier(KeptBytes& kept);

// CopyRange without a CRC, by the host's copier as far as it copies; the
// rest (after its refusal) through the buffer, with CopyRange's verdicts.
[[nodiscard]] ResultCode CopyKeptRange(KeptBytes& kept, uint64_t offset, uint64_t size, OutputStream& out);
