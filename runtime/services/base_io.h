// The I/O object that a viewing I/O (a window, a garble I/O) reads through.
// It is set as an object property and may close before the viewer does, so
// it is checked for life at every use rather than trusted once.
#pragma once

#include <cstdint>

#include "plugin/host/host_objects.h"

namespace arjrt {

class BaseIo {
 public:
  explicit BaseIo(ObjectRef owner) : owner_(owner) {}

  // Takes an object property value; a null object clears the base. Only a
  // live block I/O of the same runtime, other than the owner, is accepted.
  ResultCode Set(const void* buffer, uint32_t size);
  ResultCode Get(void* buffer, uint32_t size, uint32_t* length) const;

  // ERR_NOT_INITIALIZED without a live base, ERR_BAD_PARAMETER inside a
  // call of the base (bases that lead back to the owner).
  ResultCode Ready() const;
  // The base's own calls, once Ready.
  ResultCode SeekRead(uint32_t* count, uint64_t offset, void* buffer, uint32_t size);
  ResultCode GetSize(uint64_t* size);

 private:
  ObjectRef owner_;
  ObjectRef base_ = nullptr;
  bool busy_ = false;  // inside a call of the base: a cycle of bases comes back here
};

}  // namespace arjrt
