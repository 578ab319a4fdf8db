// The host objects behind an open Archive, shared by the files that
// implement it.
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "plugin/host/host_objects.h"
#include "runtime/api/archive.h"
#include "runtime/api/writer_lock.h"
#include "runtime/api/internal/entry_headers.h"
#include "runtime/api/internal/file_stamp.h"
#include "runtime/api/internal/volume_split.h"
#include "runtime/api/internal/volume_walk.h"
#include "runtime/core/runtime.h"
#include "runtime/services/reader_io.h"

namespace arjhost {

// Hidden, though nested in an exported class: the library's own.
struct __attribute__((visibility("hidden"))) Archive::Objects {
  arjrt::Runtime& runtime;
  ObjectRef source = nullptr;    // the file-system source above the archive: it receives the messages
  ObjectRef io = nullptr;        // the archive I/O, child of the source
  ObjectRef window = nullptr;    // child of `io` from the main header on, when a stub comes first
  ObjectRef joined = nullptr;    // child of the one above, without the ranges recovery skipped
  ObjectRef archiver = nullptr;  // child of the I/O it reads: archive_io()
  // The volumes the plug-in read, for the runtime's reading of their main
  // headers, and the local headers its scan read, by table row.
  VolumeWalk volume_walk;
  EntryHeaders entry_headers;
  // Packed bytes after the end of the stream, as the decoder reported them
  // while the entry being extracted was decoded (0: none reported).
  uint64_t unused_packed = 0;
  // The file opened (empty for memory) as it was then, and whether
  // recovery cut damaged ranges out of what the plug-in reads: what a
  // rewrite checks before and after it writes.
  std::string path;
  FileStamp opened_stamp;
  bool recovered = false;
  // Under recovery: what each volume's plan skipped, by the volume's name,
  // until Open gathers it into the state.
  std::map<std::string, std::vector<SkippedRange>> volume_skips;
  // The same for what ARJ-PROTECT records found (one each), and the
  // archive's own file as its record rebuilt it, which `io` reads then.
  std::map<std::string, std::vector<RecordRebuild>> volume_rebuilds;
  std::shared_ptr<const std::vector<uint8_t>> own_rebuilt;
  // Every file of the archive (each volume of a set) as it was when it was
  // read: a rewrite commits only if none changed meanwhile.
  std::vector<std::pair<std::string, FileStamp>> guarded;
  // Opened to be rewritten (Archive::OpenForWriting): the lock it holds,
  // and, when there was no archive, the empty one it starts from and the
  // path where none was.
  std::unique_ptr<WriterLock> lock;
  std::vector<uint8_t> empty_start;
  std::string created_path;
  // Its entries, once listed: every check of a rewrite asks for them, and a
  // change to the file by another hand is found when the rewrite commits.
  std::mutex entries_mutex;
  std::optional<std::vector<EntryInfo>> entries;
  // Of an archive a set's rewrite joined: its entries stored to be packed
  // where the new set places them (volume_split.h).
  std::map<EntryHandle, Repack> repack;
  FileStamp created_over;  // what was at created_path (start_empty), else not known
  // The entries (handles) the last rebuild copied although their stored
  // data fails its CRC, as the plug-in reports them.
  std::vector<EntryHandle> damaged_copies;
  bool watching_copies = false;  // the handler that collects them is in place
  // The new archive's temporary file while a Rebuild writes it, for
  // RebuildBytesWritten on another thread.
  mutable std::mutex rebuild_mutex;
  std::string rebuild_temp;

  // The I/O whose offset 0 is the archive's main header.
  ObjectRef archive_io() const { return joined != nullptr ? joined : window != nullptr ? window : io; }

  explicit Objects(arjrt::Runtime& r) : runtime(r) {}
  ~Objects() {
    // The archiver closes with its I/O, and the I/O with the source.
    host::CloseIfOpen(source);
  }
};

// Plans the recovery of the archive I/O and, when something is to be
// skipped, puts a joined I/O of the rest in front of it; the ranges go to
// `volume_skips` under the volume's name, with their offsets in the file.
[[nodiscard]] ResultCode AttachRecoveryJoin(Archive::Objects& o);

// The other volumes of a set under recovery: `inner` opens each, and what
// it gives is read without the ranges its own recovery plan skips (noted
// in `skips` under the volume's name).
arjrt::VolumeOpener RecoveringOpener(arjrt::VolumeOpener inner,
                                     std::map<std::string, std::vector<SkippedRange>>* skips);

// Opens the files beside `archive_path` by name (as the native file system
// does, a name in another case found too), under `root`.
arjrt::VolumeOpener SiblingFileOpener(ObjectRef root, const std::string& archive_path);

// What `by_volume` holds (volume_skips, volume_rebuilds), taken out of
// it, in the order of `volumes`, then that of `own` (the volume opened) if
// it was not among them.
template <class T>
std::vector<T> InVolumeOrder(std::map<std::string, std::vector<T>>& by_volume, const std::vector<std::string>& volumes,
                             const std::string& own) {
  std::vector<T> all;
  const auto take = [&by_volume, &all](const std::string& volume) {
    const auto found = by_volume.find(volume);
    if (found == by_volume.end()) return;
    for (T& t : found->second) all.push_back(std::move(t));
    by_volume.erase(found);
  };
  for (const std::string& volume : volumes) take(volume);
  take(own);  // read even when the set's volumes are not named
  return all;
}

// A read of `io` as a ByteReader reads: the count, -1 on failure.
int64_t ReadIo(ObjectRef io, uint64_t offset, void* buffer, uint32_t size);

// The name of an I/O, or of the nearest I/O under it that has one (a
// window or a joined view is named by the file it shows).
std::string VolumeNameOf(ObjectRef io);

// A finished native file I/O under `parent`, opened for reading.
[[nodiscard]] ResultCode OpenNativeFileForReading(ObjectRef parent, const std::string& path, ObjectRef* io);

// Property reads through the archiver's getter.
inline std::string StringProperty(ObjectRef o, PropId id) {
  char buffer[4096];
  uint32_t length = 0;
  if (Failed(o->system->GetPropBuffer(o, &length, id, buffer, sizeof buffer)) || length == 0) return "";
  return std::string(buffer, strnlen(buffer, std::min<size_t>(length, sizeof buffer)));
}

template <class T>
inline T FixedProperty(ObjectRef o, PropId id) {
  T value{};
  uint32_t length = 0;
  // A property that cannot be read reads as 0, whatever the failure left.
  if (Failed(o->system->GetPropBuffer(o, &length, id, &value, sizeof value))) return T{};
  return value;
}

}  // namespace arjhost
