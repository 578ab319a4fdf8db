// IID_FS_SOURCE: hands the archiver a native file system for the directory
// of the native file it reads, so that it can open the other volumes.
#include <string>

#include "runtime/services/native_path.h"
#include "runtime/services/service_support.h"
#include "runtime/services/services.h"

namespace arjrt {
namespace {

[[nodiscard]] ResultCode GetFileSystem(ObjectRef self, ObjectRef* out, ObjectRef io) {
  if (out == nullptr) return ERR_BAD_PARAMETER;
  *out = nullptr;
  std::string directory;
  if (!DirectoryOfNativeFile(io, &directory)) return ERR_UNSUPPORTED;
  // The new file system belongs to whoever asked for it, not to the
  // source: it hangs under the root, so that closing the source never
  // closes it behind its owner's back.
  ObjectRef fs = nullptr;
  ResultCode result = host::CreateObject(host::FindAncestor(self, IID_ROOT), &fs, IID_FILE_SYSTEM, PID_NATIVE_FS);
  if (Failed(result)) return result;
  result = host::SetPropBuffer(fs, PROP_OBJECT_PATH, directory.data(), static_cast<uint32_t>(directory.size()));
  if (!Failed(result)) result = host::CreateObjectDone(fs);
  if (Failed(result)) {
    host::CloseIfOpen(fs);
    return result;
  }
  *out = fs;
  return result;
}

const FsSourceMethods kMethods = {GetFileSystem};

}  // namespace

ResultCode RegisterFsSourceService(ObjectRef root) {
  return RegisterService(root, IID_FS_SOURCE, PID_NATIVE_FS_SOURCE, InternalHooks{}, &kMethods, 1, nullptr, 0, 0);
}

}  // namespace arjrt
