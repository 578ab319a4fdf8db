// Archives and volumes read through a caller's callbacks: read where they
// lie when the stream can seek, else read once from where it stands and
// kept, in memory up to a bound and then in an unnamed temporary file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/api/archive.h"
#include "runtime/api/kept_stream.h"
#include "runtime/bindings/c/arjhost.h"
#include "runtime/bindings/c/c_settings.h"
#include "runtime/bindings/c/c_status.h"

namespace arjhost::capi {

class CallbackSource {
 public:
  // Takes the stream (its close is called when this goes, also on failure).
  // `kept` counts the bytes the handle's streams that cannot seek hold,
  // against the bound on them. Null with `failure` set, naming `label`.
  static std::unique_ptr<CallbackSource> Open(const arjhost_callbacks& callbacks, const Settings& settings,
                                              uint64_t* kept, const std::string& label, Failure* failure);
  ~CallbackSource();
  CallbackSource(const CallbackSource&) = delete;
  CallbackSource& operator=(const CallbackSource&) = delete;

  // Reads the stream's bytes; valid while this lives.
  ArchiveReader Reader();
  // A stream kept in memory: its bytes (else null), to be read where they lie.
  const std::vector<uint8_t>* Memory() const { return kept_ ? kept_->Memory() : nullptr; }

 private:
  explicit CallbackSource(const arjhost_callbacks& callbacks) : callbacks_(callbacks) {}
  bool Measure();  // a stream that can seek: its start and size
  int64_t ReadAt(uint64_t offset, void* buffer, size_t size);

  arjhost_callbacks callbacks_;
  bool seekable_ = false;
  int64_t start_ = 0;     // where the archive starts in a stream that can seek
  int64_t position_ = -1;  // where the stream stands, when known
  uint64_t size_ = 0;
  std::unique_ptr<KeptStream> kept_;  // a stream that cannot seek, read once
};

// The callback a handle's volumes are opened by, made into the C++ API's
// opener; the sources it opens are kept in `sources` (which outlives the
// archive).
VolumeOpener VolumeOpenerOf(const Settings& settings, uint64_t* kept,
                            std::vector<std::unique_ptr<CallbackSource>>* sources);

}  // namespace arjhost::capi
