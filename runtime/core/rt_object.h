// The runtime's side of a host object.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "plugin/host/host_objects.h"
#include "runtime/core/implementation.h"

namespace arjrt {

class Runtime;

struct RtObject : HostObject {
  Runtime* runtime = nullptr;
  const Implementation* impl = nullptr;
  RtObject* parent = nullptr;
  std::vector<RtObject*> children;  // in creation order
  uint64_t serial = 0;              // creation number, for reports
  bool finished = false;
  bool closing = false;
  std::unique_ptr<std::max_align_t[]> storage;  // the instance record
};

inline RtObject* AsRt(ObjectRef o) { return static_cast<RtObject*>(o); }

}  // namespace arjrt
