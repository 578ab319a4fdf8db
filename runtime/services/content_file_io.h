// IID_BLOCK_IO, read-only, over a file that is to become an entry of a
// rebuilt archive: the file's bytes, and the properties the rebuild asks of
// new content. Set PROP_OBJECT_PATH (the file), PROP_OBJECT_NAME (its stored
// name) and, optionally, PROP_ENTRY_METHOD (the method to encode it with);
// PROP_MODIFIED_TIME (Unix seconds) and PROP_FILE_MODE (st_mode) come from
// the file unless set. New content that is a folder (PROP_FILE_MODE says
// so) or a link or special file (PROP_UNIX_SPECIAL set: its 'U' extended
// header body) holds no bytes, and its path is not opened.
#pragma once

#include "plugin/host/host_objects.h"

namespace arjrt {

constexpr uint32_t PID_CONTENT_FILE_IO = 63040;

[[nodiscard]] ResultCode RegisterContentFileIoService(ObjectRef root);

}  // namespace arjrt
