#include "runtime/api/internal/volume_set_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "runtime/api/archive.h"
#include "runtime/api/rebuild.h"
#include "runtime/api/internal/rewrite_checks.h"
#include "runtime/api/internal/set_commit.h"
#include "runtime/api/internal/status_of.h"
#include "runtime/api/internal/temp_beside.h"
#include "runtime/api/internal/volume_names.h"
#include "runtime/api/internal/volume_split.h"
#include "runtime/services/pending_files.h"

namespace arjhost {
namespace {

using Temps = std::vector<std::unique_ptr<TempBeside>>;

// The written volumes, read as a set under their final names.
class WrittenSet {
 public:
  WrittenSet(const std::string& first, const Temps& temps) : first_(first), temps_(temps) {}
  ~WrittenSet() {
    for (int fd : fds_) ::close(fd);
  }
  WrittenSet(const WrittenSet&) = delete;
  WrittenSet& operator=(const WrittenSet&) = delete;

  OpenResult Open(Host& host) {
    OpenOptions options;
    options.name = first_;
    options.open_volume = [this](const std::string& name, ArchiveReader* volume) {
      for (size_t n = 1; n < temps_.size(); ++n)
        if (name == VolumePath(first_, n) || name == BaseName(VolumePath(first_, n)))
          return ReaderOf(temps_[n]->path(), volume) ? VolumeLookup::kOpened : VolumeLookup::kUnreadable;
      return VolumeLookup::kMissing;
    };
    ArchiveReader reader;
    if (!ReaderOf(temps_.front()->path(), &reader))
      return {ErrnoStatus(errno, temps_.front()->path() + ": cannot be read"), nullptr};
    return Archive::OpenReader(host, reader, options);
  }

 private:
  bool ReaderOf(const std::string& path, ArchiveReader* reader) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    fds_.push_back(fd);
    struct stat st;
    if (::fstat(fd, &st) != 0) return false;
    reader->size = static_cast<uint64_t>(st.st_size);
    reader->read_at = [fd](uint64_t offset, void* buffer, size_t size) -> int64_t {
      ssize_t n;
      do n = ::pread(fd, buffer, size, static_cast<off_t>(offset));
      while (n < 0 && errno == EINTR);
      return n;
    };
    return true;
  }

  const std::string& first_;
  const Temps& temps_;
  std::vector<int> fds_;
};

Status CheckWrittenSet(Host& host, const VolumeSetRequest& request, const Temps& temps) {
  WrittenSet set(request.first, temps);
  OpenResult opened = set.Open(host);
  const std::string failed = request.first + ": not written: the new volume set ";
  if (!opened.ok()) return Failure(opened.status.code, failed + "does not reopen: " + opened.status.message);
  const ArchiveState& state = opened.archive->state();
  if (state.damaged || state.incomplete || state.volumes.size() != temps.size())
    return Failure(Code::kInternal, failed + "does not read back whole");
  const std::vector<EntryInfo> listed = opened.archive->Entries();
  bool same = listed.size() == request.expected.size();
  for (size_t i = 0; same && i < listed.size(); ++i) same = listed[i].name == request.expected[i];
  if (!same) return Failure(Code::kInternal, failed + "does not list the expected entries");
  if (request.test_entries)
    if (Status tested = TestEveryEntry(*opened.archive, listed, request.passwords); !tested.ok())
      return Failure(tested.code, failed + "fails its test: " + tested.message);
  return {};
}

// A file at a later volume's name that is not of the set being rewritten
// is someone else's: it is never replaced.
Status CheckNamesAreFree(const VolumeSetRequest& request, size_t count) {
  for (size_t n = 1; n < count; ++n) {
    const std::string path = VolumePath(request.first, n);
    struct stat st;
    const std::vector<std::string>& olds = request.old_volumes;
    const bool old = std::find(olds.begin(), olds.end(), path) != olds.end();
    if (!old && ::lstat(path.c_str(), &st) == 0)
      return Failure(Code::kRefused, request.first + ": not written: " + path +
                                         " exists and is not a volume of the archive rewritten");
  }
  return {};
}

// The volumes put in place in one commit that a crash cannot split (see
// set_commit.h), and the old set's volumes past the new last one removed.
Status PutInPlace(const VolumeSetRequest& request, Temps& temps) {
  std::string why;
  for (const auto& temp : temps)
    if (!temp->Sync(&why)) return Failure(Code::kIoError, why, ERR_IO);
  SetCommit commit;
  commit.first = request.first;
  const std::vector<std::string>& olds = request.old_volumes;
  for (size_t n = 0; n < temps.size(); ++n) {
    const std::string volume = VolumePath(request.first, n);
    const bool old = std::find(olds.begin(), olds.end(), volume) != olds.end();
    commit.placements.push_back({temps[n]->path(), volume, old || (n == 0 && request.first_replaces)});
  }
  for (size_t n = temps.size(); n < olds.size(); ++n) commit.removals.push_back(olds[n]);
  bool stands = false;
  const Status status = CommitSet(commit, &stands);
  if (stands)
    for (const auto& temp : temps) temp->Placed();
  return status;
}

}  // namespace

Status CheckVolumeSetRequest(uint64_t volume_size, const std::string& first) {
  if (Status size = CheckVolumeSize(volume_size); !size.ok()) return size;
  if (!NamesFirstVolume(first))
    return Failure(Code::kBadArgument, first + ": the first volume of a set must be named NAME.arj");
  return {};
}

Status WriteVolumeSet(Host& host, const VolumeSetRequest& request, size_t* count) {
  if (Status s = CheckVolumeSetRequest(request.volume_size, request.first); !s.ok()) return s;
  Temps temps;
  const VolumeFileMaker make = [&](size_t n, std::string* path, std::string* name) -> Status {
    const std::string target = VolumePath(request.first, n);
    temps.push_back(std::make_unique<TempBeside>(target));
    std::string why;
    if (!temps.back()->Create(&why)) return Failure(Code::kIoError, why, ERR_IO);
    *path = temps.back()->path();
    *name = BaseName(target);
    return {};
  };
  size_t written = 0;
  Status s;
  if (request.joined_first.empty()) {
    s = SplitIntoVolumes(request.single, request.volume_size, request.first, request.garble_password, request.repack,
                         make, &written);
  } else {
    JoinedSet joined(request.joined_first, request.joined, request.damaged);
    s = SplitIntoVolumes(joined, request.volume_size, request.first, request.garble_password, request.repack, make,
                         &written);
  }
  if (!s.ok()) {
    s.message = request.first + ": not written: " + s.message;
    return s;
  }
  if (!(s = CheckWrittenSet(host, request, temps)).ok()) return s;
  if (!(s = CheckNamesAreFree(request, written)).ok()) return s;
  if (request.before_commit && !(s = request.before_commit()).ok()) return s;
  if (!(s = PutInPlace(request, temps)).ok()) return s;
  *count = written;
  return {};
}

}  // namespace arjhost
