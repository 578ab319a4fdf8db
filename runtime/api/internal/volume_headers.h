// The local headers of an archive's volumes: the archive's own through the
// I/O the plug-in reads, the others opened by name beside the archive file.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "plugin/host/host_objects.h"
#include "runtime/format/header_list.h"

namespace arjhost {

class VolumeHeaders {
 public:
  // `own_io` is where the archive's main header starts (offset 0);
  // `own_name` is the name the plug-in reports for that volume; `directory`
  // holds the other volumes ("" when there is none, as for a memory archive).
  VolumeHeaders(ObjectRef root, ObjectRef own_io, std::string own_name, std::string directory)
      : root_(root), own_io_(own_io), own_name_(std::move(own_name)), directory_(std::move(directory)) {}

  // Walks the local headers of the named volume ("" is the archive's own);
  // nothing when it cannot be opened or its main header cannot be read.
  void Walk(const std::string& volume, const arjrt::HeaderVisitor& visit);

  // Reads the named volume's main header under the table policy; false
  // when the volume cannot be opened or the header not read whole.
  bool ReadMainHeader(const std::string& volume, arjrt::ArjHeader* header);

 private:
  // Calls `use` with the named volume's I/O; false when it cannot be opened.
  bool WithVolume(const std::string& volume, const std::function<void(ObjectRef io)>& use);

  ObjectRef root_;
  ObjectRef own_io_;
  std::string own_name_;
  std::string directory_;
};

}  // namespace arjhost
