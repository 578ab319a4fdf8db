#include "runtime/services/reader_io.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <iterator>
#include <string>

#include "runtime/services/native_path.h"
#include "runtime/services/service_support.h"
#include "runtime/services/services.h"

namespace arjrt {
namespace {

class ReaderIo {
 public:
  explicit ReaderIo(ObjectRef) {}

  [[nodiscard]] ResultCode Finish() const { return reader_.read_at ? RESULT_OK : ERR_BAD_PARAMETER; }

  [[nodiscard]] ResultCode SeekRead(uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
    if (count != nullptr) *count = 0;
    if (size == 0) return RESULT_OK;
    if (buffer == nullptr) return ERR_BAD_PARAMETER;
    const uint32_t wanted = offset < reader_.size ? static_cast<uint32_t>(std::min<uint64_t>(size, reader_.size - offset)) : 0;
    uint32_t done = 0;
    // A reader may give less than asked before its end: asked again until
    // it gives nothing.
    while (done < wanted) {
      const int64_t n = reader_.read_at(offset + done, static_cast<uint8_t*>(buffer) + done, wanted - done);
      if (n < 0 || n > wanted - done) {
        if (count != nullptr) *count = done;
        return ERR_IO;
      }
      if (n == 0) break;
      done += static_cast<uint32_t>(n);
    }
    if (count != nullptr) *count = done;
    return ReadOutcome(done, size);
  }

  [[nodiscard]] ResultCode GetSize(uint64_t* size) const {
    if (size == nullptr) return ERR_BAD_PARAMETER;
    *size = reader_.size;
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode GetProperty(PropId id, void* buffer, uint32_t size, uint32_t* length) {
    switch (id) {
      case PROP_OBJECT_NAME:
        return StringPropertyOut(name_, buffer, size, length);
      case PROP_IO_ORIGIN: {
        const uint32_t origin = 0;
        return PropertyOut(&origin, sizeof origin, buffer, size, length);
      }
      case PROP_OBJECT_SIZE:
        return PropertyOut(&reader_.size, sizeof reader_.size, buffer, size, length);
      default:
        return ERR_PROPERTY_UNAVAILABLE;
    }
  }

  [[nodiscard]] ResultCode SetProperty(PropId id, const void* buffer, uint32_t size) {
    switch (id) {
      case PROP_OBJECT_NAME:
        return StringPropertyIn(buffer, size, &name_);
      case PROP_BYTE_READER: {
        const auto* reader = reinterpret_cast<const ByteReader*>(static_cast<uintptr_t>(PropertyIn(buffer, size)));
        if (reader == nullptr) return ERR_BAD_PARAMETER;
        try {
          reader_ = *reader;
        } catch (const std::exception&) {
          return ERR_NO_MEMORY;
        }
        return RESULT_OK;
      }
      default:
        return ERR_ACCESS_DENIED;
    }
  }

 private:
  std::string name_;
  ByteReader reader_;
};

[[nodiscard]] ResultCode SeekRead(ObjectRef self, uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
  return ImplOf<ReaderIo>(self).SeekRead(count, offset, buffer, size);
}
[[nodiscard]] ResultCode GetSize(ObjectRef self, uint64_t* size, uint32_t) { return ImplOf<ReaderIo>(self).GetSize(size); }
[[nodiscard]] ResultCode SeekWrite(ObjectRef, uint32_t* count, uint64_t, const void*, uint32_t) {
  if (count != nullptr) *count = 0;
  return ERR_ACCESS_DENIED;
}
[[nodiscard]] ResultCode SetSize(ObjectRef, uint64_t) { return ERR_ACCESS_DENIED; }
[[nodiscard]] ResultCode Flush(ObjectRef) { return RESULT_OK; }

const BlockIoMethods kIoMethods = {SeekRead, GetSize, SeekWrite, SetSize, Flush};
constexpr InternalHooks kIoHooks = ServiceHooks<ReaderIo>();
const PropertyRow kIoProperties[] = {
    ServiceProperty<ReaderIo>(PROP_OBJECT_NAME),
    ServiceProperty<ReaderIo>(PROP_IO_ORIGIN),
    ServiceProperty<ReaderIo>(PROP_OBJECT_SIZE),
    ServiceProperty<ReaderIo>(PROP_BYTE_READER),
};

// What the file-system source and its file systems hold: the opener.
class OpenerHolder {
 public:
  explicit OpenerHolder(ObjectRef) {}

  [[nodiscard]] ResultCode Finish() const { return opener_ ? RESULT_OK : ERR_BAD_PARAMETER; }

  [[nodiscard]] ResultCode GetProperty(PropId, void*, uint32_t, uint32_t*) { return ERR_PROPERTY_UNAVAILABLE; }

  [[nodiscard]] ResultCode SetProperty(PropId id, const void* buffer, uint32_t size) {
    if (id != PROP_VOLUME_OPENER) return ERR_ACCESS_DENIED;
    const auto* opener = reinterpret_cast<const VolumeOpener*>(static_cast<uintptr_t>(PropertyIn(buffer, size)));
    if (opener == nullptr) return ERR_BAD_PARAMETER;
    try {
      opener_ = *opener;
    } catch (const std::exception&) {
      return ERR_NO_MEMORY;
    }
    return RESULT_OK;
  }

  const VolumeOpener& opener() const { return opener_; }

 private:
  VolumeOpener opener_;
};

// A new object of `pid` under `parent` holding `opener`.
[[nodiscard]] ResultCode CreateWithOpener(ObjectRef parent, uint32_t iid, uint32_t pid, const VolumeOpener& opener,
                                          ObjectRef* out) {
  *out = nullptr;
  ObjectRef o = nullptr;
  ResultCode r = host::CreateObject(parent, &o, iid, pid);
  if (Failed(r)) return r;
  r = host::SetPropQWord(o, PROP_VOLUME_OPENER, reinterpret_cast<uintptr_t>(&opener));
  if (!Failed(r)) r = host::CreateObjectDone(o);
  if (Failed(r)) {
    host::CloseIfOpen(o);
    return r;
  }
  *out = o;
  return RESULT_OK;
}

// The file systems belong to whoever asked for them, not to the object
// that made them: they hang under the root.
[[nodiscard]] ResultCode GetFileSystem(ObjectRef self, ObjectRef* out, ObjectRef) {
  if (out == nullptr) return ERR_BAD_PARAMETER;
  return CreateWithOpener(host::FindAncestor(self, IID_ROOT), IID_FILE_SYSTEM, PID_OPENER_FS,
                          ImplOf<OpenerHolder>(self).opener(), out);
}

[[nodiscard]] ResultCode OpenByName(ObjectRef self, ObjectRef* out, ObjectRef name_text, uint32_t access_mode,
                                    uint32_t open_mode) {
  if (out == nullptr) return ERR_BAD_PARAMETER;
  *out = nullptr;
  // Volumes are read, never made or written.
  if ((access_mode & ACCESS_WRITE) != 0 || open_mode != OPEN_EXISTING) return ERR_ACCESS_DENIED;
  std::string name;
  ResultCode r = NameInText(name_text, &name);
  if (Failed(r)) return r;
  if (name.empty()) return ERR_BAD_PARAMETER;
  ByteReader volume;
  try {
    r = ImplOf<OpenerHolder>(self).opener()(name, &volume);
  } catch (const std::exception&) {
    return ERR_NO_MEMORY;
  }
  if (Failed(r)) return r;
  if (!volume.read_at) return ERR_NOT_FOUND;
  ObjectRef io = nullptr;
  r = host::CreateObject(self, &io, IID_BLOCK_IO, PID_READER_IO);
  if (Failed(r)) return r;
  r = host::SetPropQWord(io, PROP_BYTE_READER, reinterpret_cast<uintptr_t>(&volume));
  if (!Failed(r)) r = host::SetPropBuffer(io, PROP_OBJECT_NAME, name.c_str(), static_cast<uint32_t>(name.size() + 1));
  if (!Failed(r)) r = host::CreateObjectDone(io);
  if (Failed(r)) {
    host::CloseIfOpen(io);
    return r;
  }
  *out = io;
  return RESULT_OK;
}

[[nodiscard]] ResultCode Clone(ObjectRef self, ObjectRef* out) {
  if (out == nullptr) return ERR_BAD_PARAMETER;
  return CreateWithOpener(host::FindAncestor(self, IID_ROOT), IID_FILE_SYSTEM, PID_OPENER_FS,
                          ImplOf<OpenerHolder>(self).opener(), out);
}

// Every volume is asked for by name: any I/O will do.
[[nodiscard]] ResultCode BindToObject(ObjectRef, ObjectRef) { return RESULT_OK; }

const FsSourceMethods kSourceMethods = {GetFileSystem};
const FileSystemMethods kFsMethods = {OpenByName, Clone, BindToObject};
constexpr InternalHooks kOpenerHooks = ServiceHooks<OpenerHolder>();
const PropertyRow kOpenerProperties[] = {ServiceProperty<OpenerHolder>(PROP_VOLUME_OPENER)};

}  // namespace

ResultCode RegisterReaderServices(ObjectRef root) {
  ResultCode r = RegisterService(root, IID_BLOCK_IO, PID_READER_IO, kIoHooks, &kIoMethods, 5, kIoProperties,
                                 std::size(kIoProperties), sizeof(ServiceRecord<ReaderIo>));
  if (!Failed(r))
    r = RegisterService(root, IID_FS_SOURCE, PID_OPENER_FS_SOURCE, kOpenerHooks, &kSourceMethods, 1,
                        kOpenerProperties, std::size(kOpenerProperties), sizeof(ServiceRecord<OpenerHolder>));
  if (!Failed(r))
    r = RegisterService(root, IID_FILE_SYSTEM, PID_OPENER_FS, kOpenerHooks, &kFsMethods, 3, kOpenerProperties,
                        std::size(kOpenerProperties), sizeof(ServiceRecord<OpenerHolder>));
  return r;
}

}  // namespace arjrt
