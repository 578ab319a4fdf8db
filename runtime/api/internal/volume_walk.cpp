#include "runtime/api/internal/volume_walk.h"

#include "runtime/format/header_io.h"

namespace arjhost {

void VolumeWalk::Add(std::string name, ObjectRef io) { volumes_.push_back({std::move(name), io}); }

void VolumeWalk::ReadMainHeaders(const MainHeaderUse& use) {
  format::HeaderFields main;
  for (Volume& v : volumes_) {
    const bool read = format::ReadHeaderFields(arjrt::ReaderOf(v.io), 0, format::HeaderRole::kMain,
                                               format::kTablePolicy, &main) == format::HeaderCause::kHeader;
    use(v.name, read ? &main : nullptr);
  }
}

}  // namespace arjhost
