#include "runtime/api/internal/status_of.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace arjhost {

Code CodeOf(ResultCode result) {
  if (!Failed(result)) return Code::kOk;
  switch (result) {
    case ERR_NOT_RECOGNIZED: return Code::kNotAnArchive;
    case ERR_CORRUPTED:
    case ERR_CRC_MISMATCH:
    case ERR_END_OF_DATA: return Code::kDamaged;
    case ERR_UNSUPPORTED: return Code::kUnsupported;
    case ERR_LIMIT_EXCEEDED: return Code::kLimitExceeded;
    case ERR_IO:
    case ERR_ACCESS_DENIED:
    case ERR_TOO_MANY_OPEN_FILES: return Code::kIoError;
    case ERR_NOT_FOUND:
    case ERR_NO_SOURCE: return Code::kNotFound;
    case ERR_CANCELLED: return Code::kCancelled;
    case ERR_BAD_PARAMETER:
    case ERR_BAD_VOLUME_NAME: return Code::kBadArgument;
    case ERR_NO_MEMORY: return Code::kOutOfMemory;
    case ERR_CONTENT_CHANGED:
    case ERR_CONTENT_GREW:
    case ERR_CONTENT_SHRANK:
    case ERR_CONTENT_REPLACED: return Code::kChanged;
    default: return Code::kInternal;
  }
}

Code CodeOfErrno(int error) {
  switch (error) {
    case 0: return Code::kOk;
    case ENOENT:
    case ENOTDIR: return Code::kNotFound;
    case ENOMEM: return Code::kOutOfMemory;
    default: return Code::kIoError;
  }
}

Code CodeOf(format::Fault fault) {
  switch (fault) {
    case format::Fault::kNone: return Code::kOk;
    case format::Fault::kUnknown: return Code::kUnsupported;
    case format::Fault::kDamaged: return Code::kDamaged;
    case format::Fault::kPartMissing: return Code::kVolumeMissing;
  }
  return Code::kInternal;
}

Status Failure(Code code, std::string message, ResultCode result) {
  return {code, std::move(message), result};
}

Status StatusOf(ResultCode result, std::string message) {
  if (!Failed(result)) return {};
  return Failure(CodeOf(result), std::move(message), result);
}

Status ErrnoStatus(int error, const std::string& what) {
  return Failure(error == 0 ? Code::kIoError : CodeOfErrno(error), what + ": " + std::strerror(error));
}

Status StatusOf(const format::Verdict& verdict) {
  if (verdict.ok()) return {};
  return Failure(CodeOf(verdict.fault), verdict.why);
}

}  // namespace arjhost
