// The permission bits extracted files and folders get from their entries.
#pragma once

#include <sys/types.h>

#include "runtime/api/archive.h"

namespace arjhost {

// The process's umask, read without changing it.
mode_t CurrentUmask();

class ExtractPermissions {
 public:
  // By default stored UNIX modes lose the set-user-ID and set-group-ID
  // bits and pass through the umask, as tar does for a user who is not
  // root; `preserve` keeps them as stored.
  explicit ExtractPermissions(bool preserve);
  // The same under `umask`, read already.
  ExtractPermissions(bool preserve, mode_t umask) : preserve_(preserve), umask_(umask) {}

  mode_t ForFile(const EntryInfo& entry) const;
  // False when the entry stores no UNIX mode: the folder then keeps the
  // mode it was made with.
  bool ForFolder(const EntryInfo& entry, mode_t* mode) const;

 private:
  mode_t FromStored(const EntryInfo& entry) const;
  bool HasUnixMode(const EntryInfo& entry) const;

  bool preserve_;
  mode_t umask_;
};

}  // namespace arjhost
