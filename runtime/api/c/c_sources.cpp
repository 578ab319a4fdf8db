#include "runtime/api/c/c_sources.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "runtime/services/anonymous_file.h"
#include "runtime/services/fd_transfer.h"

namespace arjhost::capi {
namespace {

constexpr size_t kReadChunk = size_t{1} << 20;

}  // namespace

std::unique_ptr<CallbackSource> CallbackSource::Open(const arjhost_callbacks& callbacks, const Settings& settings,
                                                     uint64_t* kept, const std::string& label, Failure* failure) {
  std::unique_ptr<CallbackSource> source(new CallbackSource(callbacks));
  if (callbacks.read == nullptr) {
    failure->Set(ARJHOST_ERR_ARGUMENT, label + ": no read callback given");
    return nullptr;
  }
  // A stream that says it can seek but cannot is read as one that cannot.
  source->seekable_ = source->Measure();
  if (!source->seekable_ && !source->Keep(settings, kept, label, failure)) return nullptr;
  return source;
}

CallbackSource::~CallbackSource() {
  if (fd_ >= 0) ::close(fd_);
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

bool CallbackSource::Keep(const Settings& settings, uint64_t* kept, const std::string& label, Failure* failure) {
  const uint64_t memory_bound = settings.options.max_stream_memory;
  const uint64_t size_bound = settings.options.max_stream_size;
  std::vector<uint8_t> chunk(kReadChunk);
  for (;;) {
    const ptrdiff_t n = callbacks_.read(callbacks_.user, chunk.data(), chunk.size());
    if (n < 0 || static_cast<size_t>(n) > chunk.size())
      return failure->Set(ARJHOST_ERR_IO, label + ": cannot be read: the read callback failed"), false;
    if (n == 0) return true;
    const auto got = static_cast<uint64_t>(n);
    if (size_bound != 0 && (got > size_bound || *kept > size_bound - got))
      return failure->Set(ARJHOST_ERR_LIMIT, label + ": the streams read hold more than the limit of " +
                                                 std::to_string(size_bound) + " bytes (max_stream_size)"),
             false;
    *kept += got;
    if (fd_ < 0 && memory_bound != 0 && memory_.size() + got > memory_bound && !Spill(label, failure)) return false;
    if (fd_ >= 0) {
      uint32_t done = 0;
      if (const int e = arjrt::WriteFullyAt(fd_, size_, chunk.data(), static_cast<uint32_t>(got), &done); e != 0)
        return failure->Set(ARJHOST_ERR_IO, label + ": cannot keep the stream in a temporary file: " +
                                                std::strerror(e)),
               false;
    } else {
      memory_.insert(memory_.end(), chunk.data(), chunk.data() + got);
    }
    size_ += got;
  }
}

// Past the memory bound, what the stream held so far moves to a file.
bool CallbackSource::Spill(const std::string& label, Failure* failure) {
  fd_ = arjrt::OpenAnonymousFile();
  uint32_t done = 0;
  int e = fd_ < 0 ? errno : 0;
  if (e == 0 && !memory_.empty())
    e = arjrt::WriteFullyAt(fd_, 0, memory_.data(), static_cast<uint32_t>(memory_.size()), &done);
  if (e != 0)
    return failure->Set(ARJHOST_ERR_IO, label + ": cannot keep the stream in a temporary file: " + std::strerror(e)),
           false;
  std::vector<uint8_t>().swap(memory_);
  return true;
}

int64_t CallbackSource::ReadAt(uint64_t offset, void* buffer, size_t size) {
  if (offset >= size_) return 0;
  size = static_cast<size_t>(std::min<uint64_t>(size, size_ - offset));
  if (fd_ >= 0) {
    uint32_t done = 0;
    return arjrt::ReadFullyAt(fd_, offset, buffer, static_cast<uint32_t>(size), &done) == 0 ? done : -1;
  }
  if (!seekable_) {
    std::memcpy(buffer, memory_.data() + offset, size);
    return static_cast<int64_t>(size);
  }
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
