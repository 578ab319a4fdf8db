// A rebuild's new archive written as a volume set and put in place: every
// volume written beside its target, the set reopened through its volumes'
// names and checked, then all renamed in one commit a crash cannot split
// (set_commit.h), and what is left of the old set past the new one's last
// volume removed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/api/archive.h"
#include "runtime/api/host.h"
#include "runtime/api/internal/volume_split.h"
#include "runtime/api/status.h"

namespace arjhost {

struct VolumeSetRequest {
  std::string single;        // the rebuild's archive, one volume
  std::string first;         // the first volume's path (NamesFirstVolume)
  uint64_t volume_size = 0;  // no volume larger
  std::vector<std::string> expected;     // the entries the set must list, in order
  std::vector<std::string> old_volumes;  // the paths of the set being rewritten (may be replaced or removed)
  // A file at `first` is replaced (the archive rewritten in place); false:
  // none may stand there (a new archive never replaces one that appeared).
  bool first_replaces = false;
  bool test_entries = false;             // every entry of the set tested before it is put in place
  PasswordSource passwords;              // for that test's garbled entries
  std::string garble_password;           // of the garbled entries to split (none: they are not split)
  std::vector<Repack> repack;            // SplitIntoVolumes's, by the entries' order
  // Instead of `single`, when `joined_first` is not empty: a set's entries
  // read as one archive (JoinedSet), never written whole, and its damaged
  // stored files.
  std::string joined_first;
  std::vector<JoinedEntry> joined;
  std::vector<size_t>* damaged = nullptr;
  // Called once the set is written and checked, before anything is put in
  // place: a failure leaves every file as it was.
  std::function<Status()> before_commit;
};

// Whether a set can be written with this size to this first volume, before
// anything is: the size at least kMinVolumeSize, the name NAME.arj.
Status CheckVolumeSetRequest(uint64_t volume_size, const std::string& first);

// *count receives the number of volumes put in place.
Status WriteVolumeSet(Host& host, const VolumeSetRequest& request, size_t* count);

}  // namespace arjhost
