// The volumes the plug-in read, as the runtime reads their main headers
// for what the plug-in does not report: each through the I/O the plug-in
// reads it by (open as long as the archiver is), once when the archive
// opens.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "plugin/format/header_walk.h"
#include "plugin/host/host_objects.h"

namespace arjhost {

class VolumeWalk {
 public:
  // A volume of the set, in order: its name as the plug-in reports it, and
  // the I/O whose offset 0 is its main header.
  void Add(std::string name, ObjectRef io);
  bool empty() const { return volumes_.empty(); }

  // Reads each volume's main header under the table policy, in order,
  // handing `use` its fields, or null when it could not be read whole.
  using MainHeaderUse = std::function<void(const std::string& name, const format::HeaderFields* main)>;
  void ReadMainHeaders(const MainHeaderUse& use);

 private:
  struct Volume {
    std::string name;
    ObjectRef io = nullptr;
  };
  std::vector<Volume> volumes_;
};

}  // namespace arjhost
