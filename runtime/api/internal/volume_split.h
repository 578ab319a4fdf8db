// A written archive laid out as a volume set, as arj a -v lays one out:
// each volume a whole archive (its main header flagged as going on in the
// next, but for the last, and named as its file), entries copied whole
// where they fit, and a file that does not fit the room left split into
// parts, each flagged as going on in the next volume or from the previous
// one, with its position in the file, the size and CRC of its own bytes,
// and packed on its own so that it decodes alone. No volume is larger than
// the size asked. The headers' rules are the format's
// (plugin/format/volume_parts.h); here is the I/O.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/api/internal/stored_headers.h"
#include "runtime/api/status.h"

namespace arjhost {

// Makes the empty file of volume `number` (0 the first) and gives its path
// and the name its main header holds; a failure ends the split.
using VolumeFileMaker = std::function<Status(size_t number, std::string* path, std::string* name)>;

// Splits the archive in the file `single` (one volume, no stub, headers
// sound: a rebuild's output) into volumes of at most `volume_size` bytes;
// `scratch` is a path beside which a file of a split entry's unpacked
// bytes is kept while it is split (removed at once). A garbled entry is
// split with `password` (its own: the rebuild checked it), each part
// garbled alone as arj -v -g garbles them; without one it is not split.
// *count receives the number of volumes written.
//
// A set's rewrite: the entries `repack` gives a method for (by their
// order) are files the join stored whole, to be placed here as parts
// again. Each old part is copied as it is where one begins and fits the
// room its volume has left (a delete, an append, leaves the parts after
// it as they were); else the part is packed with the method, up to where
// that old part ends, so that the next can be copied again. A volume may
// then end with room to spare.
struct OldPart {
  std::string volume;          // the old volume's path
  uint64_t header_offset = 0;  // of the part's local header there
  uint64_t position = 0;       // where it starts in the file
  uint64_t size = 0;           // its unpacked bytes
};
struct Repack {
  int method = -1;             // -1: an entry placed as it is
  std::vector<OldPart> parts;  // in order
};
Status SplitIntoVolumes(const std::string& single, uint64_t volume_size, const std::string& scratch,
                        const std::string& password, const std::vector<Repack>& repack,
                        const VolumeFileMaker& make_volume, size_t* count);

// What a split reads: an archive's main header, then its local headers in
// order, each with the file its packed data lies in.
class ArchiveInput {
 public:
  virtual ~ArchiveInput() = default;
  virtual Status Main(StoredHeader* h) = 0;
  // The next entry's header (no bytes: the end), `*fd` the file its
  // data_offset is of (-1: a stand-in, without data), and `*split_method`
  // the method of the split file it stands in for (-1: none).
  virtual Status Next(StoredHeader* h, int* fd, int* split_method) = 0;
  // The file the last entry's data lies in, to name in a failure.
  virtual const std::string& Source() const = 0;
};

// SplitIntoVolumes of the archive `input` reads.
Status SplitIntoVolumes(ArchiveInput& input, uint64_t volume_size, const std::string& scratch,
                        const std::string& password, const std::vector<Repack>& repack,
                        const VolumeFileMaker& make_volume, size_t* count);

// One entry of a set joined into one archive: a whole entry copied from
// its volume, or a split one, of which only a stand-in is written.
struct JoinedEntry {
  std::string volume;          // the path of the volume holding its (first part's) header
  uint64_t header_offset = 0;  // of that header
  bool split = false;
};

// The set's entries read as one archive: the first volume's main header
// (no longer saying the set goes on, nor that it is protected: the record
// is not carried over), whole entries as stored, and for each split one a
// stand-in: its first part's header as a whole entry of no data (stored).
// SplitIntoVolumes puts the file back together from its old parts
// (Repack) where the new set places it. With `damaged`, the stored bytes
// of each whole stored file are read, and the index of each whose CRC
// fails is added to it (a rebuild's notice, where none reads them).
class JoinedSet : public ArchiveInput {
 public:
  JoinedSet(const std::string& first_volume, const std::vector<JoinedEntry>& entries,
            std::vector<size_t>* damaged = nullptr)
      : first_(first_volume), entries_(entries), damaged_(damaged) {}
  Status Main(StoredHeader* h) override;
  Status Next(StoredHeader* h, int* fd, int* split_method) override;
  const std::string& Source() const override { return volume_path_; }

 private:
  Status CheckCrc(const StoredHeader& h, bool* sound) const;

  const std::string& first_;
  const std::vector<JoinedEntry>& entries_;
  std::vector<size_t>* damaged_;
  size_t next_ = 0;
  Fd volume_;  // each volume opened once for the run of its entries
  std::string volume_path_;
  uint64_t volume_size_ = 0;
};

// Writes the JoinedSet of `entries` as one archive into the file `out`,
// the method of each split file in (*repack)[index] (-1 for the others).
Status JoinVolumes(const std::string& first_volume, const std::vector<JoinedEntry>& entries, const std::string& out,
                   std::vector<int>* repack);

}  // namespace arjhost
