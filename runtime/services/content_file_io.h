// IID_BLOCK_IO, read-only, over a file that is to become an entry of a
// rebuilt archive: the file's bytes, and the properties the rebuild asks of
// new content. Set PROP_OBJECT_PATH (the file), PROP_OBJECT_NAME (its stored
// name) and, optionally, PROP_ENTRY_METHOD (the method to encode it with)
// and the file listed (PROP_CONTENT_IDENTITY, PROP_CONTENT_FOLLOW_LINK);
// PROP_MODIFIED_TIME (Unix seconds) and PROP_FILE_MODE (st_mode) come from
// the file unless set. New content that is a folder (PROP_FILE_MODE says
// so) or a link or special file (PROP_UNIX_SPECIAL set: its 'U' extended
// header body) holds no bytes, and its path is not opened.
//
// The file is opened once, at CreateObjectDone, and its content is its
// bytes as it stood then: a read that finds fewer fails with
// ERR_CONTENT_SHRANK, one that reaches the end of a file grown since with
// ERR_CONTENT_GREW. The rebuild reads the content twice (for its CRC, then
// to pack it); PROP_CONTENT_CRC is the CRC of the first whole read, which
// the encoder compares with what it packed.
#pragma once

#include "plugin/host/host_objects.h"

namespace arjrt {

constexpr uint32_t PID_CONTENT_FILE_IO = 63040;

// The file that must be found at the path: its st_dev and st_ino, two
// 64-bit values. Unset: any regular file.
constexpr PropId PROP_CONTENT_IDENTITY = 0x230010A0u;
// 0: a symbolic link at the path is refused; else (the default) followed.
constexpr PropId PROP_CONTENT_FOLLOW_LINK = 0x204010A1u;
// CRC-32 of the first read of the whole content, from its start and in
// order; unavailable until one has ended.
constexpr PropId PROP_CONTENT_CRC = 0x204010A2u;

[[nodiscard]] ResultCode RegisterContentFileIoService(ObjectRef root);

}  // namespace arjrt
