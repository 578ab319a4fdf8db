#include "runtime/api/internal/protected_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "plugin/format/protect_record.h"

namespace arjhost {
namespace {

// Closes the descriptor when it goes.
struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// Reads a regular file of at most `limit` bytes: the whole of it, or with
// `tail` its last `count` bytes.
bool ReadPart(const std::string& path, uint64_t limit, bool tail, uint64_t count, std::vector<uint8_t>* bytes,
              std::string* error) {
  const Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  struct stat st;
  if (file.fd < 0 || ::fstat(file.fd, &st) != 0) {
    *error = std::strerror(errno);
    return false;
  }
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  if (!S_ISREG(st.st_mode) || size > limit) {
    *error = S_ISREG(st.st_mode) ? "larger than " + std::to_string(limit) + " bytes" : "not a regular file";
    return false;
  }
  const uint64_t wanted = tail ? std::min(count, size) : size;
  bytes->resize(static_cast<size_t>(wanted));
  const off_t from = static_cast<off_t>(size - wanted);
  size_t done = 0;
  while (done < bytes->size()) {
    const ssize_t n = ::pread(file.fd, bytes->data() + done, bytes->size() - done, from + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = n < 0 ? std::strerror(errno) : "the file shrank while it was read";
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

bool ReadWholeFile(const std::string& path, uint64_t limit, std::vector<uint8_t>* bytes, std::string* error) {
  return ReadPart(path, limit, false, 0, bytes, error);
}

bool ReadFileEnd(const std::string& path, uint64_t count, std::vector<uint8_t>* bytes, std::string* error) {
  return ReadPart(path, UINT64_MAX, true, count, bytes, error);
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
  Descriptor file{::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC)};
  if (file.fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(file.fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = n < 0 ? std::strerror(errno) : "no byte written";
      return false;
    }
    done += static_cast<size_t>(n);
  }
  const int fd = file.fd;
  file.fd = -1;
  if (::close(fd) != 0) {
    *error = std::strerror(errno);
    return false;
  }
  return true;
}

std::string ProtectFile(const std::string& path) {
  // A larger archive than a record covers is refused before it is read.
  struct stat st;
  if (::stat(path.c_str(), &st) == 0)
    if (std::string cause = format::ProtectLengthCause(static_cast<uint64_t>(st.st_size)); !cause.empty())
      return cause;
  std::vector<uint8_t> bytes;
  std::string why;
  if (!ReadWholeFile(path, format::kProtectMaxLength, &bytes, &why)) return why;
  if (!(why = format::MarkProtected(&bytes)).empty() || !(why = format::AppendProtectRecord(&bytes)).empty())
    return why;
  return WriteWholeFile(path, bytes, &why) ? "" : why;
}

}  // namespace arjhost
