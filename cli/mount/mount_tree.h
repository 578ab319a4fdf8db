// The tree a mount shows: what extract would write of the chosen entries,
// by the library's rules (safe paths, names by code page, modes under the
// umask, implied folders, links), built from the entries' headers alone.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "runtime/api/archive.h"

namespace cli {

struct MountNode {
  enum class Kind : uint8_t { kFolder, kFile, kSymbolicLink };
  static constexpr size_t kNoEntry = static_cast<size_t>(-1);

  Kind kind = Kind::kFolder;
  mode_t mode = 0;      // the permission bits
  int64_t time = 0;     // modified, seconds since 1970
  uint64_t size = 0;    // a file's bytes; a link's target length
  size_t entry = kNoEntry;  // a file: the entry whose bytes it holds
  std::string target;   // a symbolic link's
  uint32_t links = 1;   // names of a file (hard links); a folder: 2 + its folders
  std::map<std::string, size_t> children;  // a folder's, by name: node ids
};

class MountTree {
 public:
  struct Options {
    int codepage = 437;
    mode_t umask = 022;
    int64_t made_time = 0;  // of the folders no entry stores: when the mount was made
    // Whether an entry comes out whole, as extract's test finds it; asked
    // only of a file whose name a later file claims too, since extract
    // gives the name to the first that comes out whole. Unset: all do.
    std::function<arjhost::Status(const arjhost::EntryInfo&)> whole;
  };
  // What is left out of the tree, and why, as extract would fail or skip it.
  using LeftOut = std::function<void(const arjhost::EntryInfo& entry, const std::string& why)>;

  // From `entries` in archive order, those `taken` says (the chapter's).
  MountTree(const std::vector<arjhost::EntryInfo>& entries, const std::function<bool(const arjhost::EntryInfo&)>& taken,
            const Options& options, const LeftOut& left_out);

  static constexpr size_t kRoot = 0;
  // The node at `path` ("/" or "/a/b"), or null.
  const MountNode* Find(const std::string& path) const;
  // Its id (the inode is id + 1), or kNotFound.
  static constexpr size_t kNotFound = static_cast<size_t>(-1);
  size_t IdOf(const std::string& path) const;
  const MountNode& node(size_t id) const { return nodes_[id]; }
  // The entries of up to `count` files that follow the one at `path` in
  // its folder, in the order of its listing: what a reader going through
  // the folder reads next.
  std::vector<size_t> EntriesAfter(const std::string& path, size_t count) const;
  size_t size() const { return nodes_.size(); }

 private:
  // The folder `components[0..count)` names, made (implied) when missing;
  // kNotFound with `why` when a file or link holds one of its names.
  size_t Folder(const std::vector<std::string>& components, size_t count, std::string* why);
  size_t Add(MountNode node);
  // Gives the folder `parent` the child `name`; false with `why` when the
  // name is held already (extract without -o keeps what was there).
  bool Place(size_t parent, const std::string& name, size_t id, std::string* why);
  // Frees `name` in `parent` when a file alone holds it that does not come
  // out whole (said left out), as extract's failed file leaves the name
  // to the next entry.
  void FreeUnlessWhole(size_t parent, const std::string& name, const LeftOut& left_out);
  void Take(const arjhost::EntryInfo& entry, size_t index, const LeftOut& left_out);

  const std::vector<arjhost::EntryInfo>* building_ = nullptr;  // the entries, while the tree is made

  Options options_;
  std::vector<MountNode> nodes_;
};

}  // namespace cli
