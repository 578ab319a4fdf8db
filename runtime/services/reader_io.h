// Archives an embedder reads from a place of its own (a stream, a buffer, a
// network): an I/O over its reads, and a file-system source whose file
// systems open the other volumes of a set by asking it for them by name.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "plugin/host/host_objects.h"

namespace arjrt {

// Up to `size` bytes at `offset` into `buffer`: the count read, fewer than
// asked only at the end; -1 when the bytes cannot be read.
using ReadAt = std::function<int64_t(uint64_t offset, void* buffer, uint32_t size)>;

struct ByteReader {
  ReadAt read_at;
  uint64_t size = 0;
};

// Opens the volume `name` into `volume`: RESULT_OK, ERR_NOT_FOUND when there
// is none of that name (the set ends there), another failure when it is
// there but cannot be read.
using VolumeOpener = std::function<ResultCode(const std::string& name, ByteReader* volume)>;

// IID_BLOCK_IO, read-only, over a ByteReader: PROP_BYTE_READER takes the
// address of one, copied, before CreateObjectDone.
constexpr uint32_t PID_READER_IO = 64011;
constexpr PropId PROP_BYTE_READER = 0x20501090u;

// IID_FS_SOURCE whose file systems (IID_FILE_SYSTEM, PID_OPENER_FS) open
// volumes through a VolumeOpener: PROP_VOLUME_OPENER takes the address of
// one, copied, before CreateObjectDone.
constexpr uint32_t PID_OPENER_FS_SOURCE = 64012;
constexpr uint32_t PID_OPENER_FS = 64013;
constexpr PropId PROP_VOLUME_OPENER = 0x20501091u;

[[nodiscard]] ResultCode RegisterReaderServices(ObjectRef root);

}  // namespace arjrt
