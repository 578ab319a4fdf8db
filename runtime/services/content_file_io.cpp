#include "runtime/services/content_file_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "plugin/format/crc32.h"
#include "runtime/services/fd_transfer.h"
#include "runtime/services/listed_file.h"
#include "runtime/services/service_support.h"
#include "runtime/services/services.h"

namespace arjrt {
namespace {

constexpr uint32_t kBlockIoMethodCount = 5;

class ContentFile {
 public:
  explicit ContentFile(ObjectRef) {}
  ~ContentFile() {
    if (fd_ >= 0) ::close(fd_);
  }

  [[nodiscard]] ResultCode Finish() {
    if (fd_ >= 0 || NoData()) return RESULT_OK;
    if (listed_.path.empty()) return ERR_BAD_PARAMETER;
    struct stat st;
    const ResultCode r = OpenListedFile(listed_, &fd_, &st);
    if (Failed(r)) return r;
    size_ = static_cast<uint64_t>(st.st_size);
    if (!modified_) modified_ = static_cast<int64_t>(st.st_mtime);
    if (!mode_) mode_ = static_cast<uint32_t>(st.st_mode);
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode SeekRead(uint32_t* count, uint64_t offset, void* buffer, uint32_t size) {
    if (count != nullptr) *count = 0;
    if (NoData()) return ReadOutcome(0, size);
    if (fd_ < 0) return ERR_NOT_INITIALIZED;
    if (size == 0) return RESULT_OK;
    if (buffer == nullptr) return ERR_BAD_PARAMETER;
    // The content is the file as it was opened: what lies past that size
    // is none of it.
    const auto wanted = static_cast<uint32_t>(offset < size_ ? std::min<uint64_t>(size, size_ - offset) : 0);
    uint32_t done = 0;
    const int error = wanted != 0 ? ReadFullyAt(fd_, offset, buffer, wanted, &done) : 0;
    if (count != nullptr) *count = done;
    if (error != 0) return ERR_IO;
    if (done < wanted) return ERR_CONTENT_SHRANK;
    FollowFirstRead(offset, buffer, done);
    if (offset + done == size_) {
      struct stat st;
      if (::fstat(fd_, &st) != 0) return ERR_IO;
      if (static_cast<uint64_t>(st.st_size) > size_) return ERR_CONTENT_GREW;
    }
    return ReadOutcome(done, size);
  }

  [[nodiscard]] ResultCode GetSize(uint64_t* size) const {
    if (size != nullptr) *size = 0;
    if (NoData()) return RESULT_OK;
    if (fd_ < 0) return ERR_NOT_INITIALIZED;
    if (size != nullptr) *size = size_;
    return RESULT_OK;
  }

  [[nodiscard]] ResultCode GetProperty(PropId id, void* buffer, uint32_t size, uint32_t* length) {
    switch (id) {
      case PROP_OBJECT_NAME:
        return StringPropertyOut(name_, buffer, size, length);
      case PROP_OBJECT_PATH:
        return StringPropertyOut(listed_.path, buffer, size, length);
      case PROP_MODIFIED_TIME:
        return Optional(modified_, buffer, size, length);
      case PROP_FILE_MODE:
        return Optional(mode_, buffer, size, length);
      case PROP_ENTRY_METHOD:
        return Optional(method_, buffer, size, length);
      case PROP_CONTENT_CRC:
        return Optional(first_read_crc_, buffer, size, length);
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
        if (fd_ >= 0) return ERR_ACCESS_DENIED;  // the file is open
        return StringPropertyIn(buffer, size, &listed_.path);
      case PROP_CONTENT_IDENTITY: {
        uint64_t identity[2];
        if (fd_ >= 0) return ERR_ACCESS_DENIED;
        if (buffer == nullptr || size != sizeof identity) return ERR_BAD_PARAMETER;
        std::memcpy(identity, buffer, sizeof identity);
        listed_.device = identity[0];
        listed_.inode = identity[1];
        return RESULT_OK;
      }
      case PROP_CONTENT_FOLLOW_LINK:
        if (fd_ >= 0) return ERR_ACCESS_DENIED;
        listed_.follow_link = PropertyIn(buffer, size) != 0;
        return RESULT_OK;
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
        if (fd_ >= 0 || (buffer == nullptr && size != 0)) return ERR_ACCESS_DENIED;
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

  // The CRC of the reads that run from the start in order, until they
  // cover the whole content: the rebuild's first pass, taken for the
  // entry's CRC. A read elsewhere breaks the run; one at the start begins
  // it again.
  void FollowFirstRead(uint64_t offset, const void* data, uint32_t count) {
    if (first_read_crc_) return;
    if (offset == 0) run_ = Run{};
    if (!run_ || run_->end != offset) {
      run_.reset();
      return;
    }
    run_->crc = arjhost::format::Crc32Update(count, data, run_->crc);
    run_->end += count;
    if (run_->end == size_) first_read_crc_ = run_->crc;
  }

  int fd_ = -1;
  uint64_t size_ = 0;  // as the file was opened
  ListedFile listed_;
  std::string name_;
  std::optional<int64_t> modified_;
  std::optional<uint32_t> mode_;
  std::optional<uint32_t> method_;
  std::vector<uint8_t> unix_special_;
  struct Run {
    uint64_t end = 0;
    uint32_t crc = 0;
  };
  std::optional<Run> run_;
  std::optional<uint32_t> first_read_crc_;
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
    ServiceProperty<ContentFile>(PROP_OBJECT_NAME),         ServiceProperty<ContentFile>(PROP_OBJECT_PATH),
    ServiceProperty<ContentFile>(PROP_MODIFIED_TIME),       ServiceProperty<ContentFile>(PROP_FILE_MODE),
    ServiceProperty<ContentFile>(PROP_ENTRY_METHOD),        ServiceProperty<ContentFile>(PROP_OBJECT_SIZE),
    ServiceProperty<ContentFile>(PROP_UNIX_SPECIAL),        ServiceProperty<ContentFile>(PROP_CONTENT_IDENTITY),
    ServiceProperty<ContentFile>(PROP_CONTENT_FOLLOW_LINK), ServiceProperty<ContentFile>(PROP_CONTENT_CRC),
};

}  // namespace

ResultCode RegisterContentFileIoService(ObjectRef root) {
  return RegisterService(root, IID_BLOCK_IO, PID_CONTENT_FILE_IO, kHooks, &kMethods, kBlockIoMethodCount, kProperties,
                         std::size(kProperties), sizeof(ServiceRecord<ContentFile>));
}

}  // namespace arjrt
