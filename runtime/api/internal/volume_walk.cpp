#include "runtime/api/internal/volume_walk.h"

#include "runtime/format/header_io.h"

namespace arjhost {

void VolumeWalk::Add(std::string name, ObjectRef io) {
  by_name_.try_emplace(name, volumes_.size());
  volumes_.push_back({std::move(name), io});
}

void VolumeWalk::ReadMainHeaders(const MainHeaderUse& use) {
  format::HeaderFields main;
  for (Volume& v : volumes_) {
    v.main_read = format::ReadHeaderFields(arjrt::ReaderOf(v.io), 0, format::HeaderRole::kMain, format::kTablePolicy,
                                           &main) == format::HeaderCause::kHeader;
    v.first_local = v.main_read ? main.next_offset : 0;
    use(v.name, v.main_read ? &main : nullptr);
  }
}

void VolumeWalk::Walk(const std::string& name, const format::HeaderVisitor& visit) const {
  // The plug-in names no volume of a one-volume table.
  const Volume* volume = nullptr;
  if (name.empty() && volumes_.size() == 1) {
    volume = &volumes_[0];
  } else if (auto it = by_name_.find(name); it != by_name_.end()) {
    volume = &volumes_[it->second];
  }
  if (volume == nullptr || !volume->main_read) return;
  arjrt::ReadAhead bytes(volume->io);
  format::WalkLocalHeadersFrom(bytes.reader(), volume->first_local, format::kTablePolicy, visit);
}

}  // namespace arjhost
