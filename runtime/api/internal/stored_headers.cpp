#include "runtime/api/internal/stored_headers.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "plugin/format/crc32.h"
#include "runtime/api/internal/status_of.h"
#include "runtime/services/fd_transfer.h"

namespace arjhost {

using namespace format;

namespace {

bool AppendTo(void* context, const void* bytes, uint32_t size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  out->insert(out->end(), p, p + size);
  return true;
}

}  // namespace

int ReadAt(int fd, uint64_t offset, void* buffer, size_t size) {
  uint8_t* p = static_cast<uint8_t*>(buffer);
  while (size > 0) {
    const ssize_t n = ::pread(fd, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    p += n;
    offset += static_cast<uint64_t>(n);
    size -= static_cast<size_t>(n);
  }
  return 0;
}

int WriteAt(int fd, uint64_t offset, const void* buffer, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(buffer);
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    p += n;
    offset += static_cast<uint64_t>(n);
    size -= static_cast<size_t>(n);
  }
  return 0;
}

int OpenToRead(const std::string& path) {
  int fd;
  do fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  return fd;
}

namespace {

// Copies through a buffer, carrying *crc on over the bytes when given.
int CopyThroughBuffer(int in, uint64_t from, int out, uint64_t to, uint64_t size, uint32_t* crc) {
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(size, 64 * 1024)));
  while (size > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, buffer.size()));
    if (const int e = ReadAt(in, from, buffer.data(), n); e != 0) return e;
    if (crc != nullptr) *crc = Crc32Update(n, buffer.data(), *crc);
    if (const int e = WriteAt(out, to, buffer.data(), n); e != 0) return e;
    from += n;
    to += n;
    size -= n;
  }
  return 0;
}

}  // namespace

int CopyAt(int in, uint64_t from, int out, uint64_t to, uint64_t size) {
  // The kernel copies what it will (the bytes never come up here); what it
  // refuses or leaves goes through a buffer, whose errors are the verdict.
  uint64_t copied = 0;
  (void)arjrt::CopyFileRangeAt(in, from, out, to, size, &copied);
  return CopyThroughBuffer(in, from + copied, out, to + copied, size - copied, nullptr);
}

int CopyWithCrc(int in, uint64_t from, int out, uint64_t to, uint64_t size, uint32_t* crc) {
  return CopyThroughBuffer(in, from, out, to, size, crc);
}

ByteWriter VectorWriter(std::vector<uint8_t>* out) { return {out, AppendTo}; }

int OpenToWrite(const std::string& path) {
  int fd;
  do fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  return fd;
}

uint64_t SizeOfFile(int fd) {
  const off_t size = ::lseek(fd, 0, SEEK_END);
  return size < 0 ? 0 : static_cast<uint64_t>(size);
}

std::vector<uint8_t> StoredHeader::FixedPart() const {
  return {bytes.begin() + fixed_header::kBasicHeader,
          bytes.begin() + fixed_header::kBasicHeader + facts.first_header_size};
}

ByteSpan StoredHeader::NameAndComment() const {
  const uint32_t from = fixed_header::kBasicHeader + facts.first_header_size;
  return {bytes.data() + from, basic_end() - from};
}

namespace {

// The header at `offset` of what `reader` reads, `read` giving its bytes.
template <class ReadBytes>
Status ReadStored(const ByteReader& reader, uint64_t offset, HeaderRole role, StoredHeader* h, ReadBytes read) {
  std::vector<uint8_t> prefix(kMaxHeaderPrefix);
  const HeaderCause cause = ReadHeader(reader, offset, role, kSoundPolicy, prefix.data(), &h->facts);
  if (cause == HeaderCause::kEndMarker && role == HeaderRole::kLocal) return {};
  if (cause != HeaderCause::kHeader)
    return Failure(Code::kDamaged, "a bad header at offset " + std::to_string(offset) + ": " + HeaderCauseText(cause));
  const uint64_t span = h->facts.data_offset - offset;
  if (span > kMaxHeaderSpan) return Failure(Code::kUnsupported, "a header is too large to place in a volume");
  h->bytes.resize(static_cast<size_t>(span));
  return read(h->bytes);
}

}  // namespace

Status ReadStoredAt(int fd, uint64_t size, uint64_t offset, HeaderRole role, StoredHeader* h) {
  struct File {
    int fd;
    uint64_t size;
  } file{fd, size};
  const ByteReader reader{&file, [](void* c, uint64_t at, void* buffer, uint32_t want) -> int64_t {
                            const File* f = static_cast<const File*>(c);
                            if (at >= f->size) return 0;
                            const uint64_t n = std::min<uint64_t>(want, f->size - at);
                            return ReadAt(f->fd, at, buffer, n) == 0 ? static_cast<int64_t>(n) : -1;
                          }};
  return ReadStored(reader, offset, role, h, [&](std::vector<uint8_t>& bytes) -> Status {
    if (const int e = ReadAt(fd, offset, bytes.data(), bytes.size()); e != 0)
      return ErrnoStatus(e, "an archive cannot be read");
    return {};
  });
}

Status ParseStored(const std::vector<uint8_t>& bytes, HeaderRole role, StoredHeader* h) {
  const ByteReader reader{const_cast<std::vector<uint8_t>*>(&bytes),
                          [](void* c, uint64_t at, void* buffer, uint32_t want) -> int64_t {
                            const auto* b = static_cast<const std::vector<uint8_t>*>(c);
                            if (at >= b->size()) return 0;
                            const size_t n = static_cast<size_t>(std::min<uint64_t>(want, b->size() - at));
                            std::memcpy(buffer, b->data() + at, n);
                            return static_cast<int64_t>(n);
                          }};
  return ReadStored(reader, 0, role, h, [&](std::vector<uint8_t>& out) -> Status {
    if (out.size() > bytes.size()) return Failure(Code::kInternal, "a header runs past its bytes");
    std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(out.size()), out.begin());
    return {};
  });
}

bool Rewritten(const uint8_t* fixed, uint32_t fixed_size, ByteSpan rest, ByteSpan extended,
               std::vector<uint8_t>* out) {
  out->clear();
  const ByteSpan pieces[] = {{fixed, fixed_size}, rest};
  const ByteWriter writer = VectorWriter(out);
  if (!WriteBasicHeader(writer, pieces, 2)) return false;
  out->insert(out->end(), extended.data, extended.data + extended.size);
  return true;
}

}  // namespace arjhost
