#include "runtime/api/internal/stub_copy.h"

#include <algorithm>
#include <vector>

#include "plugin/format/header_walk.h"

namespace arjhost {

ResultCode PutStubFirst(ObjectRef source, uint64_t stub, ObjectRef output, ObjectRef* view) {
  *view = nullptr;
  // The stub was found within this limit; nothing longer is copied.
  if (stub > format::kMainHeaderSearchLimit) return ERR_CORRUPTED;
  std::vector<uint8_t> bytes(static_cast<size_t>(stub));
  uint32_t count = 0;
  ResultCode r = host::Io(source).SeekRead(source, &count, 0, bytes.data(), static_cast<uint32_t>(stub));
  if (Failed(r) || count != stub) return Failed(r) ? r : ERR_CORRUPTED;
  r = host::Io(output).SeekWrite(output, &count, 0, bytes.data(), static_cast<uint32_t>(stub));
  if (Failed(r) || count != stub) return Failed(r) ? r : ERR_IO;
  r = host::CreateObject(output, view, IID_BLOCK_IO, PID_WINDOW_IO);
  if (Failed(r)) {
    *view = nullptr;
    return r;
  }
  if (*view == nullptr) return ERR_NOT_INITIALIZED;  // a warning is no object
  // A view that did not take its offset or base would write the archive
  // over the stub, or somewhere else.
  r = host::SetPropQWord(*view, PROP_WINDOW_OFFSET, stub);
  if (!Failed(r)) r = host::SetPropQWord(*view, PROP_WINDOW_SIZE, UINT64_MAX - stub);
  if (!Failed(r)) r = host::SetPropObject(*view, PROP_WINDOW_BASE, output);
  return Failed(r) ? r : host::CreateObjectDone(*view);
}

}  // namespace arjhost
