#include "runtime/api/kept_stream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "runtime/services/anonymous_file.h"
#include "runtime/services/fd_transfer.h"

namespace arjhost {
namespace {

constexpr size_t kReadChunk = size_t{1} << 20;
// Beyond this a memory bound grows its room as a vector does.
constexpr uint64_t kMostReserved = uint64_t{256} << 20;

Status Failure(Code code, std::string message) {
  Status s;
  s.code = code;
  s.message = std::move(message);
  return s;
}

}  // namespace

Status KeptStream::Keep(const StreamRead& read, const StreamBounds& bounds, const std::string& label,
                        std::unique_ptr<KeptStream>* kept_stream, uint64_t* kept) {
  std::unique_ptr<KeptStream> stream(new KeptStream());
  uint64_t own = 0;
  if (kept == nullptr) kept = &own;
  std::vector<uint8_t> chunk(kReadChunk);
  // Room for all the memory bound holds, taken at once: growing by doubling
  // would hold the old copy beside the new one (96 MiB for a 64 MiB bound).
  // Pages not written are never touched, so a small stream costs little.
  stream->memory_.reserve(static_cast<size_t>(std::min<uint64_t>(bounds.memory, kMostReserved)));
  for (;;) {
    const int64_t n = read(chunk.data(), chunk.size());
    if (n < 0 || static_cast<uint64_t>(n) > chunk.size())
      return Failure(Code::kIoError, label + ": cannot be read: the stream failed");
    if (n == 0) break;
    const auto got = static_cast<uint64_t>(n);
    if (bounds.size != 0 && (got > bounds.size || *kept > bounds.size - got))
      return Failure(Code::kLimitExceeded,
                     label + ": holds more than the limit of " + std::to_string(bounds.size) + " bytes a stream is kept to");
    *kept += got;
    if (stream->fd_ < 0 && bounds.memory != 0 && stream->memory_.size() + got > bounds.memory) {
      if (Status spilled = stream->Spill(label); !spilled.ok()) return spilled;
    }
    if (stream->fd_ >= 0) {
      uint32_t done = 0;
      if (const int e = arjrt::WriteFullyAt(stream->fd_, stream->size_, chunk.data(), static_cast<uint32_t>(got), &done);
          e != 0)
        return Failure(Code::kIoError, label + ": cannot keep the stream in a temporary file: " + std::strerror(e));
    } else {
      stream->memory_.insert(stream->memory_.end(), chunk.data(), chunk.data() + got);
    }
    stream->size_ += got;
  }
  *kept_stream = std::move(stream);
  return {};
}

KeptStream::~KeptStream() {
  if (fd_ >= 0) ::close(fd_);
}

// Past the memory bound, what the stream held so far moves to a file.
Status KeptStream::Spill(const std::string& label) {
  fd_ = arjrt::OpenAnonymousFile();
  int e = fd_ < 0 ? errno : 0;
  uint32_t done = 0;
  if (e == 0 && !memory_.empty()) e = arjrt::WriteFullyAt(fd_, 0, memory_.data(), static_cast<uint32_t>(memory_.size()), &done);
  if (e != 0) return Failure(Code::kIoError, label + ": cannot keep the stream in a temporary file: " + std::strerror(e));
  std::vector<uint8_t>().swap(memory_);
  return {};
}

int64_t KeptStream::ReadAt(uint64_t offset, void* buffer, size_t size) {
  if (offset >= size_) return 0;
  size = static_cast<size_t>(std::min<uint64_t>(size, size_ - offset));
  if (fd_ < 0) {
    std::memcpy(buffer, memory_.data() + offset, size);
    return static_cast<int64_t>(size);
  }
  uint32_t done = 0;
  return arjrt::ReadFullyAt(fd_, offset, buffer, static_cast<uint32_t>(size), &done) == 0 ? done : -1;
}

ArchiveReader KeptStream::Reader() {
  return {[this](uint64_t offset, void* buffer, size_t size) { return ReadAt(offset, buffer, size); }, size_};
}

}  // namespace arjhost
