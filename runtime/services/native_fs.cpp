// IID_FILE_SYSTEM over one directory of the host: opens the files beside an
// archive (its other volumes) by name, and nothing outside that directory.
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>

#include "runtime/services/native_path.h"
#include "runtime/services/service_support.h"
#include "runtime/services/services.h"

namespace arjrt {
namespace {

// Reads the name held by a text object, refusing anything but a sibling.
[[nodiscard]] ResultCode SiblingNameOf(ObjectRef text, std::string* name) {
  const ResultCode result = NameInText(text, name);
  if (Failed(result)) return result;
  return IsSiblingName(*name) ? RESULT_OK : ERR_BAD_PARAMETER;
}

class NativeFs {
 public:
  explicit NativeFs(ObjectRef self) : self_(self) {}

  [[nodiscard]] ResultCode OpenByName(ObjectRef* out, ObjectRef name_text, uint32_t access_mode, uint32_t open_mode) {
    if (out == nullptr) return ERR_BAD_PARAMETER;
    *out = nullptr;
    std::string name;
    ResultCode result = SiblingNameOf(name_text, &name);
    if (Failed(result)) return result;
    if (directory_.empty()) return ERR_NOT_INITIALIZED;
    try {
      result = OpenPath(out, JoinPath(directory_, name), access_mode, open_mode);
      // Volume names are made on the rules of case-blind file systems
      // ("data.100" leads to "data.A01"); here a set written in one case
      // must still be found.
      std::string other;
      if (result == ERR_NOT_FOUND && open_mode == OPEN_EXISTING && FindNameIgnoringCase(directory_, name, &other))
        result = OpenPath(out, JoinPath(directory_, other), access_mode, open_mode);
    } catch (const std::exception&) {
      return ERR_NO_MEMORY;
    }
    return result;
  }

  [[nodiscard]] ResultCode Clone(ObjectRef* out) {
    if (out == nullptr) return ERR_BAD_PARAMETER;
    *out = nullptr;
    // The new file system belongs to whoever asked for it, not to this
    // object: it hangs under the root, so that closing this one never
    // closes it behind its owner's back.
    ObjectRef fs = nullptr;
    ResultCode result = host::CreateObject(host::FindAncestor(self_, IID_ROOT), &fs, IID_FILE_SYSTEM, PID_NATIVE_FS);
    if (Failed(result)) return result;
    result = host::SetPropBuffer(fs, PROP_OBJECT_PATH, directory_.data(), static_cast<uint32_t>(directory_.size()));
    if (!Failed(result)) result = host::CreateObjectDone(fs);
    if (Failed(result)) {
      host::CloseIfOpen(fs);
      return result;
    }
    *out = fs;
    return result;
  }

  [[nodiscard]] ResultCode BindToObject(ObjectRef io) {
    std::string directory;
    if (!DirectoryOfNativeFile(io, &directory)) return ERR_UNSUPPORTED;
    directory_.swap(directory);
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode GetProperty(PropId id, void* buffer, uint32_t size, uint32_t* length) {
    if (id != PROP_OBJECT_PATH) return ERR_PROPERTY_UNAVAILABLE;
    return StringPropertyOut(directory_, buffer, size, length);
  }

  [[nodiscard]] ResultCode SetProperty(PropId id, const void* buffer, uint32_t size) {
    if (id != PROP_OBJECT_PATH) return ERR_ACCESS_DENIED;
    return StringPropertyIn(buffer, size, &directory_);
  }

 private:
  [[nodiscard]] ResultCode OpenPath(ObjectRef* out, const std::string& path, uint32_t access_mode, uint32_t open_mode) {
    ObjectRef io = nullptr;
    ResultCode result = host::CreateObject(self_, &io, IID_BLOCK_IO, PID_NATIVE_FILE_IO);
    if (Failed(result)) return result;
    result = host::SetPropBuffer(io, PROP_OBJECT_PATH, path.data(), static_cast<uint32_t>(path.size()));
    if (!Failed(result)) result = host::SetPropDWord(io, PROP_ACCESS_MODE, access_mode);
    if (!Failed(result)) result = host::SetPropDWord(io, PROP_OPEN_MODE, open_mode);
    if (!Failed(result)) result = host::CreateObjectDone(io);
    if (Failed(result)) {
      host::CloseIfOpen(io);
      return result;
    }
    *out = io;
    return result;
  }

  ObjectRef self_;
  std::string directory_;  // empty while unbound
};

[[nodiscard]] ResultCode OpenByName(ObjectRef self, ObjectRef* out, ObjectRef name_text, uint32_t access_mode,
                                    uint32_t open_mode) {
  return ImplOf<NativeFs>(self).OpenByName(out, name_text, access_mode, open_mode);
}
[[nodiscard]] ResultCode Clone(ObjectRef self, ObjectRef* out) { return ImplOf<NativeFs>(self).Clone(out); }
[[nodiscard]] ResultCode BindToObject(ObjectRef self, ObjectRef io) { return ImplOf<NativeFs>(self).BindToObject(io); }

const FileSystemMethods kMethods = {OpenByName, Clone, BindToObject};
constexpr InternalHooks kHooks = ServiceHooks<NativeFs, false>();
const PropertyRow kProperties[] = {ServiceProperty<NativeFs>(PROP_OBJECT_PATH)};

}  // namespace

ResultCode RegisterNativeFsService(ObjectRef root) {
  return RegisterService(root, IID_FILE_SYSTEM, PID_NATIVE_FS, kHooks, &kMethods, 3, kProperties,
                         std::size(kProperties), sizeof(ServiceRecord<NativeFs>));
}

}  // namespace arjrt
