#include "runtime/bindings/c/c_status.h"

namespace arjhost::capi {
namespace {

constexpr int Negated(Code code) { return -static_cast<int>(code); }

// The numbers the header promises.
static_assert(Negated(Code::kNotAnArchive) == ARJHOST_ERR_NOT_ARCHIVE);
static_assert(Negated(Code::kDamaged) == ARJHOST_ERR_DAMAGED);
static_assert(Negated(Code::kWrongPassword) == ARJHOST_ERR_WRONG_PASSWORD);
static_assert(Negated(Code::kPasswordNeeded) == ARJHOST_ERR_PASSWORD_NEEDED);
static_assert(Negated(Code::kUnsupported) == ARJHOST_ERR_UNSUPPORTED);
static_assert(Negated(Code::kVolumeMissing) == ARJHOST_ERR_MISSING_VOLUME);
static_assert(Negated(Code::kLimitExceeded) == ARJHOST_ERR_LIMIT);
static_assert(Negated(Code::kIoError) == ARJHOST_ERR_IO);
static_assert(Negated(Code::kNotFound) == ARJHOST_ERR_NOT_FOUND);
static_assert(Negated(Code::kRefused) == ARJHOST_ERR_REFUSED);
static_assert(Negated(Code::kCancelled) == ARJHOST_ERR_CANCELLED);
static_assert(Negated(Code::kBadArgument) == ARJHOST_ERR_ARGUMENT);
static_assert(Negated(Code::kOutOfMemory) == ARJHOST_ERR_NO_MEMORY);
static_assert(Negated(Code::kChanged) == ARJHOST_ERR_CHANGED);
static_assert(Negated(Code::kInternal) == ARJHOST_ERR_INTERNAL);
static_assert(Negated(Code::kInUse) == ARJHOST_ERR_IN_USE);
static_assert(ARJHOST_ERR_PLUGIN < ARJHOST_ERR_INTERNAL - 32, "room for the codes to come");

}  // namespace

int CodeOf(const Status& status) { return status.ok() ? ARJHOST_OK : Negated(status.code); }

}  // namespace arjhost::capi

extern "C" const char* arjhost_strerror(int code) {
  switch (code) {
    case ARJHOST_END: return "no more entries";
    case ARJHOST_SKIPPED: return "skipped";
    case ARJHOST_ERR_PLUGIN: return "the ARJ plug-in could not be loaded";
    default: break;
  }
  if (code > 0 || code < arjhost::capi::Negated(arjhost::Code::kInUse)) return "unknown code";
  return arjhost::CodeName(static_cast<arjhost::Code>(-code));
}
