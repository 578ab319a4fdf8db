#include "runtime/api/internal/volume_headers.h"

#include "runtime/api/internal/archive_objects.h"
#include "runtime/services/native_path.h"

namespace arjhost {

bool VolumeHeaders::WithVolume(const std::string& volume, const std::function<void(ObjectRef io)>& use) {
  if (volume.empty() || volume == own_name_) {
    use(own_io_);
    return true;
  }
  // The plug-in names siblings only; anything else is not opened.
  if (directory_.empty() || !arjrt::IsSiblingName(volume)) return false;
  ObjectRef io = nullptr;
  if (Failed(OpenNativeFileForReading(root_, arjrt::JoinPath(directory_, volume), &io))) return false;
  use(io);
  host::CloseIfOpen(io);  // read only: nothing is left for the close to do
  return true;
}

void VolumeHeaders::Walk(const std::string& volume, const arjrt::HeaderVisitor& visit) {
  WithVolume(volume, [&visit](ObjectRef io) { arjrt::WalkLocalHeaders(io, 0, kTablePolicy, visit); });
}

bool VolumeHeaders::ReadMainHeader(const std::string& volume, arjrt::ArjHeader* header) {
  bool read = false;
  WithVolume(volume, [header, &read](ObjectRef io) {
    read = arjrt::ReadHeaderAt(io, 0, HeaderRole::kMain, kTablePolicy, header) == HeaderCause::kHeader;
  });
  return read;
}

}  // namespace arjhost
