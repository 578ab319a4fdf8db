// The volumes the plug-in read, as the runtime walks their headers for
// what the plug-in does not report: each through the I/O the plug-in reads
// it by (open as long as the archiver is), its main header read once when
// the archive opens, its local headers walked from where that header ends.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>
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

  // Walks the local headers of the named volume ("": the only one), from
  // where its main header ends; nothing when its main header was not read
  // or no volume has that name.
  void Walk(const std::string& name, const format::HeaderVisitor& visit) const;

 private:
  struct Volume {
    std::string name;
    ObjectRef io = nullptr;
    bool main_read = false;
    uint64_t first_local = 0;
  };
  std::vector<Volume> volumes_;
  std::unordered_map<std::string, size_t> by_name_;
};

}  // namespace arjhost
