// An entry's identity in its archive: the number the plug-in's Next gives
// it. The plug-in's table has a row for each part of a file split over
// volumes, so a handle is no position in Archive::Entries(); the type
// allows no arithmetic, and FindEntry (archive.h) is the one way from a
// handle to its entry.
#pragma once

#include <compare>
#include <cstdint>
#include <string>

namespace arjhost {

class EntryHandle {
 public:
  constexpr EntryHandle() = default;
  constexpr explicit EntryHandle(uint64_t value) : value_(value) {}
  // The plug-in's number, for its change list and for messages.
  constexpr uint64_t value() const { return value_; }
  constexpr bool valid() const { return value_ != 0; }
  friend constexpr auto operator<=>(EntryHandle, EntryHandle) = default;

 private:
  uint64_t value_ = 0;
};

inline std::string ToString(EntryHandle handle) { return std::to_string(handle.value()); }

}  // namespace arjhost
