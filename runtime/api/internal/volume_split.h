// A written archive laid out as a volume set, as arj a -v lays one out:
// each volume a whole archive (its main header flagged as going on in the
// next, but for the last, and named as its file), entries copied whole
// where they fit, and a file that does not fit the room left split into
// parts, each flagged as going on in the next volume or from the previous
// one, with its position in the file, the size and CRC of its own bytes,
// and packed on its own so that it decodes alone. No volume is larger than
// the size asked.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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
// The entries `repack` gives a method for (by their order; -1 for none)
// are stored in `single` and packed with it here, whole or split, so that
// a set's rewrite packs each once. *count receives the number of volumes
// written.
Status SplitIntoVolumes(const std::string& single, uint64_t volume_size, const std::string& scratch,
                        const std::string& password, const std::vector<int>& repack,
                        const VolumeFileMaker& make_volume, size_t* count);

// One entry of a set joined into one archive: a whole entry copied from
// its volume, or a split one written whole from its content.
struct JoinedEntry {
  std::string volume;          // the path of the volume holding its (first part's) header
  uint64_t header_offset = 0;  // of that header
  bool split = false;
};
// Writes a split entry's whole content into `fd` (a new, empty file).
using SplitContent = std::function<Status(size_t index, int fd)>;

// Writes the set's entries as one archive into the file `out`: the first
// volume's main header (no longer saying the set goes on), whole entries
// as stored, each split one as one entry of its content, stored (its
// first part's method in (*repack)[index], -1 for the others: the new
// set packs it once, where it is placed), its first part's header
// otherwise, garbled with `password` when it was garbled. `scratch` as
// for SplitIntoVolumes.
Status JoinVolumes(const std::string& first_volume, const std::vector<JoinedEntry>& entries,
                   const SplitContent& content, const std::string& scratch, const std::string& password,
                   const std::string& out, std::vector<int>* repack);

}  // namespace arjhost
