#include "runtime/operations/internal/extract_permissions.h"

#include <sys/stat.h>

#include <cstdio>

#include "runtime/api/text.h"

namespace arjhost {
// The process's umask, read without changing it: umask(2) can only swap
// it, and while it is swapped, files another thread makes would get the
// wrong mode. Linux says it in /proc (since 4.7); elsewhere it is swapped
// for a moment, to the stricter of the usual masks.
mode_t CurrentUmask() {
  if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status) != nullptr)
      found = std::sscanf(line, "Umask: %o", &mask) == 1;
    std::fclose(status);
    if (found) return static_cast<mode_t>(mask & 0777);
  }
  const mode_t mask = umask(077);
  umask(mask);
  return mask;
}

ExtractPermissions::ExtractPermissions(bool preserve) : preserve_(preserve), umask_(CurrentUmask()) {}

// arj on UNIX keeps the permission bits in the low 12 bits of the stored
// mode (its own kind of file above them); a mode without any permission
// bit is not taken for one.
bool ExtractPermissions::HasUnixMode(const EntryInfo& entry) const {
  return MadeOnUnix(entry) && (entry.access_mode & 0777) != 0;
}

mode_t ExtractPermissions::FromStored(const EntryInfo& entry) const {
  const mode_t stored = entry.access_mode & format::kUnixPermissionBits;
  return preserve_ ? stored : stored & ~(S_ISUID | S_ISGID) & ~umask_;
}

mode_t ExtractPermissions::ForFile(const EntryInfo& entry) const {
  if (HasUnixMode(entry)) return FromStored(entry);
  // DOS and the other hosts store attributes, of which read-only is kept.
  const bool read_only = entry.header_known && !MadeOnUnix(entry) && format::Has(entry.access_mode, format::DosAttribute::kReadOnly);
  return (read_only ? 0444 : 0666) & ~umask_;
}

bool ExtractPermissions::ForFolder(const EntryInfo& entry, mode_t* mode) const {
  if (!HasUnixMode(entry)) return false;
  *mode = FromStored(entry);
  return true;
}

}  // namespace arjhost
