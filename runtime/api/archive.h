// An archive opened through the plug-in, as a host drives it: the archiver
// object over the archive's I/O object, its entries and their properties.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/api/host.h"
#include "runtime/api/rebuild.h"

namespace arjhost {

struct EntryInfo {
  uint64_t handle = 0;  // what Next returned: index + 1
  std::string name;     // the stored bytes
  uint64_t size = 0;    // all parts together
  uint32_t packed = 0;
  uint32_t method = 0;
  uint32_t crc = 0;
  bool garbled = false;
  std::string volume;  // the volume holding the entry (empty for a single volume)
};

struct OpenOptions {
  bool scan_all_volumes = true;  // every volume of the set, whichever one is named
  std::string name;              // name of a memory archive (for volume naming)
};

struct ArchiveState {
  bool multi_volume = false;
  bool damaged = false;
  bool incomplete = false;
  bool restricted = false;
  uint64_t digest = 0;
  std::vector<std::string> volumes;  // in volume order
  std::vector<uint64_t> volume_digests;
};

class Archive {
 public:
  ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  // Opens an archive file. On failure returns null, with a one-line reason
  // in `error` and the result code in `result` (if given).
  static std::unique_ptr<Archive> OpenFile(Host& host, const std::string& path, const OpenOptions& options,
                                           std::string* error, int32_t* result = nullptr);
  // Opens an archive held in memory (the bytes must outlive the archive).
  static std::unique_ptr<Archive> OpenMemory(Host& host, const void* data, size_t size, const OpenOptions& options,
                                             std::string* error, int32_t* result = nullptr);

  const ArchiveState& state() const { return state_; }
  // The logical entries, in archive order.
  std::vector<EntryInfo> Entries();

  // Writes this archive with `changes` applied to `destination` (which may
  // be the archive's own file). The new archive goes to a temporary file
  // beside the destination and replaces it only once the plug-in's Rebuild
  // succeeded and the new file reopens and lists the expected entries; on
  // any failure the destination is untouched and the temporary file gone.
  // Returns false with a one-line reason naming the file and cause.
  bool Rebuild(const ChangeSet& changes, const std::string& destination, std::string* error,
               int32_t* result = nullptr);

  struct Objects;  // the host objects behind the archive

 private:
  Archive(Host& host, std::unique_ptr<Objects> objects);
  static std::unique_ptr<Archive> Open(Host& host, std::unique_ptr<Objects> objects, const OpenOptions& options,
                                       const std::string& label, std::string* error, int32_t* result);

  Host& host_;
  ArchiveState state_;  // filled by message handlers on the objects below
  std::unique_ptr<Objects> objects_;
};

}  // namespace arjhost
