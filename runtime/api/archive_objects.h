// The host objects behind an Archive, for the parts of the embedding API
// that drive the archiver object directly.
#pragma once

#include "plugin/host/host_objects.h"
#include "runtime/api/archive.h"
#include "runtime/core/runtime.h"

namespace arjhost {

struct Archive::Objects {
  arjrt::Runtime& runtime;
  ObjectRef source = nullptr;    // the file-system source above the archive: it receives the messages
  ObjectRef io = nullptr;        // the archive I/O, child of the source
  ObjectRef archiver = nullptr;  // child of the I/O

  explicit Objects(arjrt::Runtime& r) : runtime(r) {}
  ~Objects() {
    // The archiver closes with its I/O, and the I/O with the source.
    if (source != nullptr) host::CloseObject(source);
  }
};

}  // namespace arjhost
