#include "runtime/api/c/c_status.h"

#include "plugin/host/host_types.h"

namespace arjhost::capi {

int CodeOf(int32_t result) {
  switch (result) {
    case RESULT_OK: return ARJHOST_OK;
    case ERR_CRC_MISMATCH: return ARJHOST_ERR_CRC;
    // The check of a garbled entry cannot tell a wrong key from damaged bytes.
    case ERR_CANCELLED: return ARJHOST_ERR_PASSWORD;
    case ERR_CORRUPTED:
    case WARN_CORRUPTED:
    case ERR_END_OF_DATA: return ARJHOST_ERR_DAMAGED;
    case ERR_NOT_RECOGNIZED: return ARJHOST_ERR_NOT_ARCHIVE;
    case ERR_UNSUPPORTED:
    case ERR_BAD_VOLUME_NAME: return ARJHOST_ERR_UNSUPPORTED;
    case ERR_LIMIT_EXCEEDED: return ARJHOST_ERR_LIMIT;
    // Of an entry: the volume it continues into, or its first part, is not there.
    case ERR_NOT_FOUND: return ARJHOST_ERR_MISSING_VOLUME;
    case ERR_NO_MEMORY: return ARJHOST_ERR_NO_MEMORY;
    case ERR_NO_SOURCE: return ARJHOST_ERR_NOT_FOUND;
    case ERR_BAD_PARAMETER: return ARJHOST_ERR_ARGUMENT;
    case ERR_CONTENT_CHANGED:
    case ERR_CONTENT_GREW:
    case ERR_CONTENT_SHRANK:
    case ERR_CONTENT_REPLACED: return ARJHOST_ERR_REFUSED;
    default: return ARJHOST_ERR_IO;
  }
}

int WriteCodeOf(int32_t result) { return result == ERR_UNSUPPORTED ? ARJHOST_ERR_REFUSED : OpenCodeOf(result); }

int OpenCodeOf(int32_t result) { return result == ERR_NOT_FOUND ? ARJHOST_ERR_NOT_FOUND : CodeOf(result); }

}  // namespace arjhost::capi
