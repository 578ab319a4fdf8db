#include "cli/files/extract_permissions.h"

#include <sys/stat.h>

namespace cli {
namespace {

constexpr uint16_t kDosReadOnly = 0x01;

bool MadeOnUnix(const arjhost::EntryInfo& entry) {
  return entry.host_os == arjhost::format::HostOs::kUnix;
}

}  // namespace

ExtractPermissions::ExtractPermissions(bool preserve) : preserve_(preserve) {
  umask_ = umask(0);
  umask(umask_);
}

// arj on UNIX keeps the permission bits in the low 12 bits of the stored
// mode (its own kind of file above them); a mode without any permission
// bit is not taken for one.
bool ExtractPermissions::HasUnixMode(const arjhost::EntryInfo& entry) const {
  return entry.header_known && MadeOnUnix(entry) && (entry.access_mode & 0777) != 0;
}

mode_t ExtractPermissions::FromStored(const arjhost::EntryInfo& entry) const {
  const mode_t stored = entry.access_mode & 07777;
  return preserve_ ? stored : stored & ~(S_ISUID | S_ISGID) & ~umask_;
}

mode_t ExtractPermissions::ForFile(const arjhost::EntryInfo& entry) const {
  if (HasUnixMode(entry)) return FromStored(entry);
  // DOS and the other hosts store attributes, of which read-only is kept.
  const bool read_only = entry.header_known && !MadeOnUnix(entry) && (entry.access_mode & kDosReadOnly);
  return (read_only ? 0444 : 0666) & ~umask_;
}

bool ExtractPermissions::ForFolder(const arjhost::EntryInfo& entry, mode_t* mode) const {
  if (!HasUnixMode(entry)) return false;
  *mode = FromStored(entry);
  return true;
}

}  // namespace cli
