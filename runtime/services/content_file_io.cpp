#include "runtime/services/content_file_io.h"

#include <sys/stat.h>

#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "runtime/services/service_support.h"
#include "runtime/services/services.h"

namespace arjrt {
namespace {

constexpr uint32_t kBlockIoMethodCount = 5;

// The bytes come from a native file I/O made as this object's child, so
// that reading files has one implementation.
class ContentFile {
 public:
  explicit ContentFile(ObjectRef self) : self_(self) {}

  [[nodiscard]] ResultCode Finish() {
    if (file_ != nullptr || NoData()) return RESULT_OK;
    if (path_.empty()) return ERR_BAD_PARAMETER;
    struct stat st;
    if (::stat(path_.c_str(), &st) != 0) return ERR_NOT_FOUND;
    if (!S_ISREG(st.st_mode)) return ERR_UNSUPPORTED;  // a directory or device is no content
    if (!modified_) modified_ = static_cast<int64_t>(st.st_mtime);
    if (!mode_) mode_ = static_cast<uint32_t>(st.st_mode);
    ObjectRef file = nullptr;
    ResultCode r = host::CreateObject(self_, &file, IID_BLOCK_IO, PID_NATIVE_FILE_IO);
    if (Failed(r)) return r;
    r = host::SetPropBuffer(file, PROP_OBJECT_PATH, path_.c_str(), static_cast<uint32_t>(path_.size() + 1));
    if (!Failed(r)) r = host::SetPropDWord(file, PROP_ACCESS_MODE, ACCESS_READ);
    if (!Failed(r)) r = host::SetPropDWord(file, PROP_OPEN_MODE, OPEN_EXISTING);
    if (!Failed(r)) r = host::CreateObjectDone(file);
    if (Failed(r)) {
      host::CloseIfOpen(file);
      return r;
    }
    file_ = file;
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode SeekRead(uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
    if (NoData()) {
      if (count != nullptr) *count = 0;
      return ReadOutcome(0, size);
    }
    if (file_ == nullptr) {
      if (count != nullptr) *count = 0;
      return ERR_NOT_INITIALIZED;
    }
    return host::Io(file_).SeekRead(file_, count, offset, buffer, size);
  }

  [[nodiscard]] ResultCode GetSize(uint64_t* size) {
    if (NoData()) {
      if (size != nullptr) *size = 0;
      return RESULT_OK;
    }
    if (file_ == nullptr) {
      if (size != nullptr) *size = 0;
      return ERR_NOT_INITIALIZED;
    }
    return host::Io(file_).GetSize(file_, size, 0);
  }

  [[nodiscard]] ResultCode GetProperty(PropId id, void* buffer, uint32_t size, uint32_t* length) {
    switch (id) {
      case PROP_OBJECT_NAME:
        return StringPropertyOut(name_, buffer, size, length);
      case PROP_OBJECT_PATH:
        return StringPropertyOut(path_, buffer, size, length);
      case PROP_MODIFIED_TIME:
        return Optional(modified_, buffer, size, length);
      case PROP_FILE_MODE:
        return Optional(mode_, buffer, size, length);
      case PROP_ENTRY_METHOD:
        return Optional(method_, buffer, size, length);
      case PROP_UNIX_SPECIAL:
        if (unix_special_.empty()) return ERR_PROPERTY_UNAVAILABLE;
        return PropertyOut(unix_special_.data(), static_cast<uint32_t>(unix_special_.size()), buffer, size, length);
      case PROP_OBJECT_SIZE: {
        uint64_t total = 0;
        ResultCode r = GetSize(&total);
        return Failed(r) ? r : PropertyOut(&total, sizeof total, buffer, size, length);
      }
      default:
        return ERR_PROPERTY_UNAVAILABLE;
    }
  }

  [[nodiscard]] ResultCode SetProperty(PropId id, const void* buffer, uint32_t size) {
    switch (id) {
      case PROP_OBJECT_NAME:
        return StringPropertyIn(buffer, size, &name_);
      case PROP_OBJECT_PATH:
        if (file_ != nullptr) return ERR_ACCESS_DENIED;  // the file is open
        return StringPropertyIn(buffer, size, &path_);
      case PROP_MODIFIED_TIME:
        modified_ = static_cast<int64_t>(PropertyIn(buffer, size));
        return RESULT_OK;
      case PROP_FILE_MODE:
        mode_ = static_cast<uint32_t>(PropertyIn(buffer, size));
        return RESULT_OK;
      case PROP_ENTRY_METHOD:
        method_ = static_cast<uint32_t>(PropertyIn(buffer, size));
        return RESULT_OK;
      case PROP_UNIX_SPECIAL:
        if (file_ != nullptr || (buffer == nullptr && size != 0)) return ERR_ACCESS_DENIED;
        unix_special_.assign(static_cast<const uint8_t*>(buffer), static_cast<const uint8_t*>(buffer) + size);
        return RESULT_OK;
      default:
        return ERR_ACCESS_DENIED;
    }
  }

 private:
  template <class T>
  [[nodiscard]] static ResultCode Optional(const std::optional<T>& value, void* buffer, uint32_t size,
                                           uint32_t* length) {
    if (!value) return ERR_PROPERTY_UNAVAILABLE;
    return PropertyOut(&*value, sizeof(T), buffer, size, length);
  }

  bool NoData() const { return !unix_special_.empty() || (mode_ && (*mode_ & S_IFMT) == S_IFDIR); }

  ObjectRef self_;
  ObjectRef file_ = nullptr;  // our child; it closes before we are destroyed
  std::string path_;
  std::string name_;
  std::optional<int64_t> modified_;
  std::optional<uint32_t> mode_;
  std::optional<uint32_t> method_;
  std::vector<uint8_t> unix_special_;
};

[[nodiscard]] ResultCode SeekRead(ObjectRef self, uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
  return ImplOf<ContentFile>(self).SeekRead(count, offset, buffer, size);
}
[[nodiscard]] ResultCode GetSize(ObjectRef self, uint64_t* size, uint32_t) {
  return ImplOf<ContentFile>(self).GetSize(size);
}
[[nodiscard]] ResultCode Flush(ObjectRef) { return RESULT_OK; }

const BlockIoMethods kMethods = {SeekRead, GetSize, nullptr, nullptr, Flush};
constexpr InternalHooks kHooks = ServiceHooks<ContentFile>();
const PropertyRow kProperties[] = {
    ServiceProperty<ContentFile>(PROP_OBJECT_NAME),   ServiceProperty<ContentFile>(PROP_OBJECT_PATH),
    ServiceProperty<ContentFile>(PROP_MODIFIED_TIME), ServiceProperty<ContentFile>(PROP_FILE_MODE),
    ServiceProperty<ContentFile>(PROP_ENTRY_METHOD),  ServiceProperty<ContentFile>(PROP_OBJECT_SIZE),
    ServiceProperty<ContentFile>(PROP_UNIX_SPECIAL),
};

}  // namespace

ResultCode RegisterContentFileIoService(ObjectRef root) {
  return RegisterService(root, IID_BLOCK_IO, PID_CONTENT_FILE_IO, kHooks, &kMethods, kBlockIoMethodCount, kProperties,
                         std::size(kProperties), sizeof(ServiceRecord<ContentFile>));
}

}  // namespace arjrt
