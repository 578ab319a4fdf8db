#include "runtime/api/internal/set_commit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

#include "plugin/format/crc32.h"
#include "runtime/api/internal/rewrite_checks.h"
#include "runtime/api/internal/status_of.h"
#include "runtime/api/internal/stored_headers.h"
#include "runtime/api/internal/temp_beside.h"
#include "runtime/api/internal/volume_names.h"
#include "runtime/api/writer_lock.h"
#include "runtime/services/native_path.h"
#include "runtime/services/pending_files.h"

namespace arjhost {
namespace {

constexpr char kSuffix[] = ".arjhost-commit";
constexpr char kMagic[] = "arjhost set commit 1\n";
constexpr size_t kMaxRecordSize = 1 << 20;
constexpr uint32_t kMaxNames = 1000;  // more volumes than a set may have
// How long a reader waits for a writer in its commit (a few renames).
constexpr auto kCommitWait = std::chrono::seconds(10);

std::string RecordOf(const std::string& first) { return first + kSuffix; }

// The record's bytes: the magic, the placements (replaces, temporary,
// volume), the removals, each name by its base name with a 16-bit length,
// then the CRC-32 of all before it; numbers little-endian.
class RecordWriter {
 public:
  void Number(uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out_.push_back(static_cast<char>(v >> (8 * i)));
  }
  void Name(const std::string& path) {
    const std::string name(arjrt::BaseName(path));
    Number(static_cast<uint32_t>(name.size()), 2);
    out_ += name;
  }
  std::string Done() {
    Number(format::Crc32Update(out_.size(), out_.data(), 0), 4);
    return std::move(out_);
  }
  std::string out_ = kMagic;
};

class RecordReader {
 public:
  explicit RecordReader(const std::string& bytes) : bytes_(bytes), at_(sizeof kMagic - 1) {}
  bool Number(int size, uint32_t* v) {
    if (bytes_.size() - at_ < static_cast<size_t>(size)) return false;
    *v = 0;
    for (int i = 0; i < size; ++i) *v |= uint32_t{static_cast<uint8_t>(bytes_[at_ + i])} << (8 * i);
    at_ += size;
    return true;
  }
  bool Name(std::string* name) {
    uint32_t length = 0;
    if (!Number(2, &length) || bytes_.size() - at_ < length) return false;
    *name = bytes_.substr(at_, length);
    at_ += length;
    return true;
  }
  bool AtEnd() const { return at_ == bytes_.size(); }

 private:
  const std::string& bytes_;
  size_t at_;
};

std::string Encode(const SetCommit& commit) {
  RecordWriter w;
  w.Number(static_cast<uint32_t>(commit.placements.size()), 4);
  for (const SetPlacement& p : commit.placements) {
    w.Number(p.replaces ? 1 : 0, 1);
    w.Name(p.temporary);
    w.Name(p.volume);
  }
  w.Number(static_cast<uint32_t>(commit.removals.size()), 4);
  for (const std::string& r : commit.removals) w.Name(r);
  return w.Done();
}

// Whether `name` is a volume of the set whose first volume is `first`.
bool IsVolumeName(const std::string& first, const std::string& name) {
  return arjrt::IsSiblingName(name) && IsVolumeOf(first, name);
}

// The record read back, each name checked to be a volume of the set or
// the temporary of one: a record planted by someone else can then do no
// more than a commit of ours would.
bool Decode(const std::string& bytes, const std::string& first, SetCommit* commit) {
  const size_t magic = sizeof kMagic - 1;
  if (bytes.size() < magic + 4 || bytes.compare(0, magic, kMagic) != 0) return false;
  const size_t body = bytes.size() - 4;
  const std::string head = bytes.substr(0, body);
  uint32_t crc = 0;
  for (int i = 0; i < 4; ++i) crc |= uint32_t{static_cast<uint8_t>(bytes[body + i])} << (8 * i);
  if (crc != format::Crc32Update(head.size(), head.data(), 0)) return false;
  RecordReader r(head);
  const std::string dir(arjrt::DirectoryName(first));
  uint32_t count = 0;
  if (!r.Number(4, &count) || count > kMaxNames) return false;
  commit->first = first;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t replaces = 0;
    std::string temporary, volume;
    if (!r.Number(1, &replaces) || !r.Name(&temporary) || !r.Name(&volume) || replaces > 1) return false;
    const std::string own_temporary = volume + ".tmp-";
    if (!IsVolumeName(first, volume) || !arjrt::IsSiblingName(temporary) ||
        temporary.size() != own_temporary.size() + 6 || temporary.compare(0, own_temporary.size(), own_temporary) != 0)
      return false;
    commit->placements.push_back({arjrt::JoinPath(dir, temporary), arjrt::JoinPath(dir, volume), replaces == 1});
  }
  if (!r.Number(4, &count) || count > kMaxNames) return false;
  for (uint32_t i = 0; i < count; ++i) {
    std::string removal;
    if (!r.Name(&removal) || !IsVolumeName(first, removal) || removal == arjrt::BaseName(first)) return false;
    commit->removals.push_back(arjrt::JoinPath(dir, removal));
  }
  return r.AtEnd();
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// The renames and removals of a commit whose record stands; a temporary
// already gone was renamed before. The record goes last.
Status Complete(const SetCommit& commit) {
  for (const SetPlacement& p : commit.placements) {
    if (!Exists(p.temporary)) continue;
    const int e = p.replaces ? (::rename(p.temporary.c_str(), p.volume.c_str()) == 0 ? 0 : errno)
                             : RenameNoReplace(p.temporary, p.volume);
    if (e != 0) return ErrnoStatus(e, p.volume + ": the new volume cannot be put in place");
  }
  for (const std::string& removal : commit.removals)
    if (::unlink(removal.c_str()) != 0 && errno != ENOENT)
      return ErrnoStatus(errno, removal + ": the old volume cannot be removed");
  SyncFolderOf(commit.first);
  if (::unlink(RecordOf(commit.first).c_str()) != 0 && errno != ENOENT)
    return ErrnoStatus(errno, RecordOf(commit.first) + ": cannot be removed");
  SyncFolderOf(commit.first);
  return {};
}

// Reads the record beside `first`: false with `status` unset when there is none.
bool ReadRecord(const std::string& first, std::string* bytes, Status* status) {
  const std::string record = RecordOf(first);
  const Fd fd(::open(record.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno != ENOENT) *status = ErrnoStatus(errno, record + ": cannot be read");
    return false;
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
      static_cast<uint64_t>(st.st_size) > kMaxRecordSize) {
    *status = Failure(Code::kRefused, record + ": not a record of an interrupted commit of ours; left as it is");
    return false;
  }
  bytes->resize(static_cast<size_t>(st.st_size));
  if (const int e = ReadAt(fd.get(), 0, bytes->data(), bytes->size()); e != 0) {
    *status = ErrnoStatus(e, record + ": cannot be read");
    return false;
  }
  return true;
}

}  // namespace

Status CommitSet(const SetCommit& commit, bool* stands) {
  // New names first: one that appeared meanwhile fails the commit before
  // any old volume is replaced.
  SetCommit ordered = commit;
  std::stable_partition(ordered.placements.begin(), ordered.placements.end(),
                        [](const SetPlacement& p) { return !p.replaces; });
  const std::string record = RecordOf(commit.first);
  TempBeside written(record);
  std::string why;
  if (!written.Create(&why)) return Failure(Code::kIoError, why, ERR_IO);
  {
    const Fd fd(OpenToWrite(written.path()));
    const std::string bytes = Encode(ordered);
    if (fd.get() < 0 || WriteAt(fd.get(), 0, bytes.data(), bytes.size()) != 0)
      return ErrnoStatus(errno, record + ": cannot be written");
  }
  Status status;
  *stands = false;
  arjrt::MakeTheChange([&] {
    if (!written.Commit(&why)) {
      status = Failure(Code::kIoError, commit.first + ": not written: " + why, ERR_IO);
      return false;
    }
    // From here the record stands: a failure leaves the rest to the next open.
    *stands = true;
    for (size_t i = 0; i < ordered.placements.size(); ++i) {
      const SetPlacement& p = ordered.placements[i];
      const int e = p.replaces ? (::rename(p.temporary.c_str(), p.volume.c_str()) == 0 ? 0 : errno)
                               : RenameNoReplace(p.temporary, p.volume);
      if (e == EEXIST) {
        // Only new names come before it: they are taken back, and the
        // commit given up with its record.
        for (size_t back = i; back-- > 0;) ::rename(ordered.placements[back].volume.c_str(),
                                                    ordered.placements[back].temporary.c_str());
        ::unlink(record.c_str());
        SyncFolderOf(commit.first);
        *stands = false;
        status = Failure(Code::kChanged, p.volume + ": not written: a file of that name appeared meanwhile");
        return false;
      }
      if (e != 0) {
        status = ErrnoStatus(e, p.volume + ": the new volume cannot be put in place (the next open completes it)");
        return true;
      }
    }
    status = Complete(ordered);
    return true;
  });
  return status;
}

Status FinishInterruptedCommit(const std::string& path) {
  const std::string first = FirstVolumeOf(InPlaceTarget(path));
  if (!Exists(RecordOf(first))) return {};  // the common case: one lstat
  std::unique_ptr<WriterLock> lock;
  if (!WriterLock::HeldFor(first)) {
    const auto until = std::chrono::steady_clock::now() + kCommitWait;
    Status taken;
    while ((taken = WriterLock::Take(first, &lock)).code == Code::kInUse && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!taken.ok()) return taken;
  }
  std::string bytes;
  Status status;
  if (!ReadRecord(first, &bytes, &status)) return status;  // gone meanwhile: completed by its writer
  SetCommit commit;
  if (!Decode(bytes, first, &commit))
    return Failure(Code::kRefused, RecordOf(first) + ": not a record of an interrupted commit of ours; left as it is");
  if (Status done = Complete(commit); !done.ok()) {
    done.message = first + ": an interrupted rewrite cannot be completed: " + done.message;
    return done;
  }
  return {};
}

}  // namespace arjhost
