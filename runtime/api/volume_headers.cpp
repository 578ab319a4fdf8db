#include "runtime/api/volume_headers.h"

#include "runtime/api/archive_objects.h"
#include "runtime/services/native_path.h"

namespace arjhost {

namespace {

// Headers are walked as the plug-in reads them, which does not check header
// CRCs: one that fails is still matched to its entry, and reported there.
constexpr bool kVerifyCrc = false;

}  // namespace

void VolumeHeaders::Walk(const std::string& volume, const arjrt::HeaderVisitor& visit) {
  if (volume.empty() || volume == own_name_) {
    arjrt::WalkLocalHeaders(own_io_, 0, visit, nullptr, kVerifyCrc);
    return;
  }
  // The plug-in names siblings only; anything else is not opened.
  if (directory_.empty() || !arjrt::IsSiblingName(volume)) return;
  ObjectRef io = nullptr;
  if (Failed(OpenNativeFileForReading(root_, arjrt::JoinPath(directory_, volume), &io))) return;
  arjrt::WalkLocalHeaders(io, 0, visit, nullptr, kVerifyCrc);
  host::CloseObject(io);
}

}  // namespace arjhost
