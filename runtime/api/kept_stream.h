// A stream that cannot seek (a pipe, a socket, standard input), read once
// from where it stands and kept, so that an archive can be read from it at
// any offset: in memory up to a bound, then in an unnamed temporary file
// (gone with the process), up to a bound in all.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/api/archive.h"
#include "runtime/api/export.h"
#include "runtime/api/status.h"

namespace arjhost {

struct StreamBounds {
  uint64_t memory = uint64_t{64} << 20;  // kept in memory up to this; 0: no bound
  uint64_t size = uint64_t{64} << 30;    // the most kept in all; 0: no bound
};

// Reads up to `size` bytes into `buffer`: the count, 0 at the end, or a
// negative value when the stream fails.
using StreamRead = std::function<int64_t(void* buffer, size_t size)>;

class ARJHOST_API KeptStream {
 public:
  // Reads the stream to its end. `kept`, when given, counts the bytes of
  // several streams against `bounds.size` together (the volumes of one
  // set). On failure (kIoError, or kLimitExceeded past the bound) the
  // message names `label`.
  static Status Keep(const StreamRead& read, const StreamBounds& bounds, const std::string& label,
                     std::unique_ptr<KeptStream>* kept_stream, uint64_t* kept = nullptr);
  ~KeptStream();
  KeptStream(const KeptStream&) = delete;
  KeptStream& operator=(const KeptStream&) = delete;

  // The bytes kept, read at any offset; valid while this lives.
  ArchiveReader Reader();
  // The bytes when they are kept in memory (Archive::OpenMemory reads them
  // where they lie), else null.
  const std::vector<uint8_t>* Memory() const { return fd_ < 0 ? &memory_ : nullptr; }
  uint64_t size() const { return size_; }

 private:
  KeptStream() = default;
  Status Spill(const std::string& label);
  int64_t ReadAt(uint64_t offset, void* buffer, size_t size);

  std::vector<uint8_t> memory_;
  int fd_ = -1;  // past the memory bound: the file the bytes are kept in
  uint64_t size_ = 0;
};

}  // namespace arjhost
