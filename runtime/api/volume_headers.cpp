#include "runtime/api/volume_headers.h"

#include "runtime/api/archive_objects.h"
#include "runtime/services/native_path.h"

namespace arjhost {

const std::vector<arjrt::ArjHeader>* VolumeHeaders::Of(const std::string& volume) {
  auto it = cache_.find(volume);
  if (it == cache_.end()) it = cache_.emplace(volume, List(volume)).first;
  const arjrt::HeaderListing& listing = it->second;
  // Without a main header nothing in the volume is known.
  if (listing.headers.empty() && listing.stop != ERR_END_OF_LIST) return nullptr;
  return &listing.headers;
}

arjrt::HeaderListing VolumeHeaders::List(const std::string& volume) {
  if (volume.empty() || volume == own_name_) return arjrt::ListLocalHeaders(own_io_, 0);
  arjrt::HeaderListing none;
  none.stop = ERR_NOT_FOUND;
  // The plug-in names siblings only; anything else is not opened.
  if (directory_.empty() || !arjrt::IsSiblingName(volume)) return none;
  ObjectRef io = nullptr;
  if (Failed(OpenNativeFileForReading(root_, arjrt::JoinPath(directory_, volume), &io))) return none;
  arjrt::HeaderListing listing = arjrt::ListLocalHeaders(io, 0);
  host::CloseObject(io);
  return listing;
}

}  // namespace arjhost
