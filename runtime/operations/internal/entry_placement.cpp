#include "runtime/operations/internal/entry_placement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "runtime/api/pending_files.h"

namespace arjhost {
namespace {

// Atomic: handles on several threads may extract into one folder at once.
std::atomic<unsigned> temp_counter{0};

}  // namespace

EntryPlacement::EntryPlacement(int dir, std::string name)
    : dir_(dir),
      name_(std::move(name)),
      temp_(".arjhost-" + std::to_string(getpid()) + "-" + std::to_string(temp_counter++) + ".part"),
      // Known before it exists: a signal may come as it is made.
      pending_slot_(AddPendingFile(dir_, temp_.c_str())) {}

EntryPlacement::~EntryPlacement() {
  if (!committed_) unlinkat(dir_, temp_.c_str(), 0);
  ForgetPendingFile(pending_slot_);
}

std::string EntryPlacement::Check(bool overwrite, const std::string& hint) const {
  struct stat existing;
  if (fstatat(dir_, name_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0) return {};
  if (S_ISDIR(existing.st_mode)) return "a folder of that name exists";
  if (!overwrite) return "exists (" + hint + ")";
  return {};
}

bool EntryPlacement::HoldsFile() const {
  struct stat existing;
  return fstatat(dir_, name_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISDIR(existing.st_mode);
}

std::string EntryPlacement::Commit() {
  if (renameat(dir_, temp_.c_str(), dir_, name_.c_str()) != 0)
    return std::string("cannot put it in place: ") + std::strerror(errno);
  committed_ = true;
  ForgetPendingFile(pending_slot_);
  pending_slot_ = -1;
  return {};
}

}  // namespace arjhost
