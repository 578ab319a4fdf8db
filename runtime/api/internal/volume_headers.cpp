#include "runtime/api/internal/volume_headers.h"

#include "runtime/api/internal/archive_objects.h"
#include "runtime/services/native_path.h"

namespace arjhost {

void VolumeHeaders::Walk(const std::string& volume, const arjrt::HeaderVisitor& visit) {
  if (volume.empty() || volume == own_name_) {
    arjrt::WalkLocalHeaders(own_io_, 0, kTablePolicy, visit);
    return;
  }
  // The plug-in names siblings only; anything else is not opened.
  if (directory_.empty() || !arjrt::IsSiblingName(volume)) return;
  ObjectRef io = nullptr;
  if (Failed(OpenNativeFileForReading(root_, arjrt::JoinPath(directory_, volume), &io))) return;
  arjrt::WalkLocalHeaders(io, 0, kTablePolicy, visit);
  host::CloseObject(io);
}

}  // namespace arjhost
