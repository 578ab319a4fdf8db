#include "runtime/api/status.h"

namespace arjhost {

const char* CodeName(Code code) {
  switch (code) {
    case Code::kOk: return "ok";
    case Code::kNotAnArchive: return "not an archive";
    case Code::kDamaged: return "damaged";
    case Code::kWrongPassword: return "wrong password or damaged garbled data";
    case Code::kPasswordNeeded: return "password needed";
    case Code::kUnsupported: return "unsupported";
    case Code::kVolumeMissing: return "volume missing";
    case Code::kLimitExceeded: return "limit exceeded";
    case Code::kIoError: return "input/output error";
    case Code::kNotFound: return "not found";
    case Code::kRefused: return "refused";
    case Code::kCancelled: return "cancelled";
    case Code::kBadArgument: return "bad argument";
    case Code::kOutOfMemory: return "out of memory";
    case Code::kChanged: return "changed meanwhile";
    case Code::kInternal: return "internal error";
    case Code::kInUse: return "in use by another writer";
  }
  return "unknown code";
}

}  // namespace arjhost
