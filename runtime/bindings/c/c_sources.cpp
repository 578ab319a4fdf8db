#include "runtime/bindings/c/c_sources.h"


#include <algorithm>
#include <cstdio>
#include <cstring>


namespace arjhost::capi {
std::unique_ptr<CallbackSource> CallbackSource::Open(const arjhost_callbacks& callbacks, const Settings& settings,
                                                     uint64_t* kept, const std::string& label, Failure* failure) {
  std::unique_ptr<CallbackSource> source(new CallbackSource(callbacks));
  if (callbacks.read == nullptr) {
    failure->Set(ARJHOST_ERR_ARGUMENT, label + ": no read callback given");
    return nullptr;
  }
  // A stream that says it can seek but cannot is read as one that cannot.
  source->seekable_ = source->Measure();
  if (source->seekable_) return source;
  const arjhost_callbacks& c = source->callbacks_;
  const StreamRead read = [&c](void* buffer, size_t size) -> int64_t { return c.read(c.user, buffer, size); };
  const StreamBounds bounds{settings.options.max_stream_memory, settings.options.max_stream_size};
  if (const Status status = KeptStream::Keep(read, bounds, label, &source->kept_, kept); !status.ok()) {
    failure->Set(status);
    return nullptr;
  }
  return source;
}

CallbackSource::~CallbackSource() {
  if (callbacks_.close != nullptr) callbacks_.close(callbacks_.user);
}

bool CallbackSource::Measure() {
  if (callbacks_.seek == nullptr) return false;
  start_ = callbacks_.seek(callbacks_.user, 0, SEEK_CUR);
  if (start_ < 0) return false;
  int64_t end = callbacks_.size != nullptr ? callbacks_.size(callbacks_.user) : -1;
  if (end < 0) {
    end = callbacks_.seek(callbacks_.user, 0, SEEK_END);
    if (end < 0 || callbacks_.seek(callbacks_.user, start_, SEEK_SET) != start_) return false;
  }
  if (end < start_) return false;
  size_ = static_cast<uint64_t>(end - start_);
  position_ = start_;
  return true;
}

int64_t CallbackSource::ReadAt(uint64_t offset, void* buffer, size_t size) {
  if (offset >= size_) return 0;
  size = static_cast<size_t>(std::min<uint64_t>(size, size_ - offset));
  const int64_t at = start_ + static_cast<int64_t>(offset);
  if (position_ != at) {
    position_ = -1;
    if (callbacks_.seek(callbacks_.user, at, SEEK_SET) != at) return -1;
    position_ = at;
  }
  size_t done = 0;
  while (done < size) {
    const ptrdiff_t n = callbacks_.read(callbacks_.user, static_cast<uint8_t*>(buffer) + done, size - done);
    if (n < 0 || static_cast<size_t>(n) > size - done) {
      position_ = -1;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
    position_ += n;
  }
  return static_cast<int64_t>(done);
}

ArchiveReader CallbackSource::Reader() {
  if (kept_) return kept_->Reader();
  return {[this](uint64_t offset, void* buffer, size_t size) { return ReadAt(offset, buffer, size); }, size_};
}

VolumeOpener VolumeOpenerOf(const Settings& settings, uint64_t* kept,
                            std::vector<std::unique_ptr<CallbackSource>>* sources) {
  const arjhost_volume_callback open = settings.options.open_volume;
  if (open == nullptr) return nullptr;
  void* user = settings.options.volume_user;
  return [open, user, &settings, kept, sources](const std::string& name, ArchiveReader* reader) {
    arjhost_volume volume;
    std::memset(&volume, 0, sizeof volume);
    const int r = open(user, name.c_str(), &volume);
    if (r == ARJHOST_ERR_NOT_FOUND) return VolumeLookup::kMissing;
    if (r != ARJHOST_OK) return VolumeLookup::kUnreadable;
    if (volume.data != nullptr) {
      const auto* bytes = static_cast<const uint8_t*>(volume.data);
      const size_t size = volume.size;
      *reader = {[bytes, size](uint64_t offset, void* buffer, size_t wanted) -> int64_t {
                   if (offset >= size) return 0;
                   const size_t n = std::min<uint64_t>(wanted, size - offset);
                   std::memcpy(buffer, bytes + offset, n);
                   return static_cast<int64_t>(n);
                 },
                 size};
      return VolumeLookup::kOpened;
    }
    Failure ignored;  // the set ends, incomplete, naming the volume
    std::unique_ptr<CallbackSource> source = CallbackSource::Open(volume.callbacks, settings, kept, name, &ignored);
    if (!source) return VolumeLookup::kUnreadable;
    *reader = source->Reader();
    sources->push_back(std::move(source));
    return VolumeLookup::kOpened;
  };
}

}  // namespace arjhost::capi
