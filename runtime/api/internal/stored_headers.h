// Headers and bytes of archive files the runtime lays out again (volume
// sets, chapters): a header read whole into memory, and written again with
// a new fixed part by the format module's writer.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "plugin/format/header_parse.h"
#include "plugin/format/header_writer.h"
#include "runtime/api/status.h"

namespace arjhost {

// A header is copied through memory: one this large cannot sit in a volume
// beside anything anyway.
constexpr uint64_t kMaxHeaderSpan = 1u << 20;

// A file descriptor closed with its scope.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int get() const { return fd_; }

 private:
  int fd_ = -1;
};

// Reads exactly `size` bytes at `offset`; 0 or the errno (EIO when the
// file is shorter).
int ReadAt(int fd, uint64_t offset, void* buffer, size_t size);
// Writes all `size` bytes at `offset`; 0 or the errno.
int WriteAt(int fd, uint64_t offset, const void* buffer, size_t size);
// Copies `size` bytes at `from` of `in` to `to` of `out`, by the kernel
// where it can; 0 or the errno (EIO when `in` is shorter).
int CopyAt(int in, uint64_t from, int out, uint64_t to, uint64_t size);
// The same through a buffer, carrying *crc on over the bytes copied.
int CopyWithCrc(int in, uint64_t from, int out, uint64_t to, uint64_t size, uint32_t* crc);
// A header writer that appends to `out`.
format::ByteWriter VectorWriter(std::vector<uint8_t>* out);
// open(2) for reading, or -1 with errno set.
int OpenToRead(const std::string& path);
// open(2) of an existing file for writing (and reading back what was
// written: a garbled part), or -1 with errno set.
int OpenToWrite(const std::string& path);
uint64_t SizeOfFile(int fd);

// One header as stored: its bytes from the id to its packed data.
struct StoredHeader {
  std::vector<uint8_t> bytes;
  format::HeaderFacts facts;
  uint32_t basic_end() const { return format::fixed_header::kBasicHeader + facts.basic_size; }
  // Its extended headers and the size that ends them.
  format::ByteSpan extended() const {
    const uint32_t from = basic_end() + 4;
    return {bytes.data() + from, static_cast<uint32_t>(bytes.size() - from)};
  }
  // Its fixed part, from the first header size on.
  std::vector<uint8_t> FixedPart() const;
  // The rest of its basic header after the fixed part: name and comment.
  format::ByteSpan NameAndComment() const;
};

// The header at `offset` of the file `fd` (`size` bytes), its CRCs
// matching; no bytes for the end marker of a local one.
Status ReadStoredAt(int fd, uint64_t size, uint64_t offset, format::HeaderRole role, StoredHeader* h);
// The same of a header made here, at the start of `bytes`.
Status ParseStored(const std::vector<uint8_t>& bytes, format::HeaderRole role, StoredHeader* h);

// A header made of `fixed` as its fixed part (from the first header size
// on, `fixed_size` bytes), the rest of its basic header (`rest`) and
// extended headers as stored; false when it would be too large.
bool Rewritten(const uint8_t* fixed, uint32_t fixed_size, format::ByteSpan rest, format::ByteSpan extended,
               std::vector<uint8_t>* out);

}  // namespace arjhost
