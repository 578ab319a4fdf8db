#include "runtime/core/result_names.h"

#include <cstdio>

namespace arjrt {

const char* ResultName(ResultCode result) {
  switch (result) {
    case RESULT_OK: return "success";
    case ERR_UNSUPPORTED: return "unsupported";
    case ERR_NO_MEMORY: return "out of memory";
    case ERR_BUFFER_TOO_SMALL: return "buffer too small";
    case ERR_BAD_PARAMETER: return "bad parameter";
    case ERR_END_OF_DATA: return "unexpected end of data";
    case ERR_BAD_VOLUME_NAME: return "bad volume name";
    case ERR_END_OF_LIST: return "end of list";
    case ERR_NOT_INITIALIZED: return "not initialized";
    case ERR_NOT_FOUND: return "not found";
    case ERR_NO_SOURCE: return "no source";
    case ERR_CANCELLED: return "cancelled";
    case ERR_CORRUPTED: return "corrupted data";
    case ERR_NOT_RECOGNIZED: return "not an ARJ archive";
    case ERR_PROPERTY_UNAVAILABLE: return "property unavailable";
    case WARN_CORRUPTED: return "archive is damaged";
    case WARN_SHORT_READ: return "short read";
    case ERR_IO: return "input/output error";
    case ERR_ACCESS_DENIED: return "access denied";
    case ERR_NOT_HANDLED: return "not handled";
    case ERR_LIMIT_EXCEEDED: return "limit exceeded";
    case ERR_CRC_MISMATCH: return "CRC mismatch";
    case ERR_TOO_MANY_OPEN_FILES: return "too many open files";
    case ERR_CONTENT_CHANGED: return "changed while it was read";
    case ERR_CONTENT_GREW: return "grew while it was read";
    case ERR_CONTENT_SHRANK: return "shrank while it was read";
    case ERR_CONTENT_REPLACED: return "replaced since it was listed";
    default: return Failed(result) ? "error" : "warning";
  }
}

std::string DescribeResult(ResultCode result) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(result));
  return std::string(hex) + " (" + ResultName(result) + ")";
}

}  // namespace arjrt
