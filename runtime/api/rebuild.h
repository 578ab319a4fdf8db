// What an embedder asks of a rebuild: which old entries go, which get new
// content, which files are appended.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "plugin/format/arj_types.h"
#include "runtime/api/entry_handle.h"
#include "runtime/api/export.h"
#include "runtime/api/status.h"

namespace arjhost {

// The longest stored name a written header holds (its basic header stays
// within the 2600 bytes readers accept).
constexpr size_t kMaxStoredNameLength = format::kMaxNameLength;

// The name under which a new file is stored, given as a path: relative,
// with '/' separators and without "." components. False with `error` set
// (the name quoted, and why) for an empty name, an absolute path, a ".."
// component, a drive letter, a backslash or a control character: an
// entry must never lead its extractor out of the folder it extracts
// into, whatever tool extracts it.
ARJHOST_API bool StoredNameOf(const std::string& given, std::string* stored, std::string* error);

// What a new entry is. kFile holds the bytes of the file at its path (a
// link followed unless follow_link is false); the others hold no data and
// are stored as arj -a1 stores them, with the mode and time of what is at
// the path itself (lstat).
enum class ContentKind : uint8_t { kFile, kFolder, kFifo, kHardLink, kSymbolicLink, kBlockDevice, kCharDevice };

// Longest password new entries are garbled with.
constexpr size_t kMaxGarblePasswordLength = format::kMaxPasswordLength;

// Longest link target a new entry holds (its extended header's bound).
constexpr size_t kMaxLinkTargetLength = format::kMaxLinkTargetLength;

struct NewContent {
  NewContent() = default;
  NewContent(std::string file, std::string name, int encoding = -1)
      : path(std::move(file)), stored_name(std::move(name)), method(encoding) {}

  std::string path;         // the file holding the content
  std::string stored_name;  // its name in the archive
  int method = -1;          // ARJ method 0..4; -1 for the one the plug-in takes from its template
  ContentKind kind = ContentKind::kFile;
  // kSymbolicLink: the link's target; kHardLink: the stored name of the
  // entry whose data it shares.
  std::string link_target;
  // An added entry's comment (a replaced one's is ChangeSet::comments').
  std::optional<std::string> comment;
  uint64_t device = 0;  // kBlockDevice and kCharDevice: the device number (st_rdev)
  // kFile: the file found at `path` when it was listed (its st_dev and
  // st_ino), so that the rebuild reads that file or fails, whatever is put
  // at the path meanwhile; both 0: the file there when the rebuild starts.
  uint64_t file_device = 0;
  uint64_t file_inode = 0;
  // kFile: a symbolic link at `path` is read where it points; false: it is
  // refused (a walk that found a file there wants no link in its place).
  bool follow_link = true;
  // kFile and kFolder: the permission bits and modification time (seconds
  // since 1970) stored instead of those at `path`, when `given_attributes`
  // (content handed over in a file or folder of the embedder's making).
  bool given_attributes = false;
  uint32_t mode = 0;
  int64_t modified_time = 0;
};

struct ChangeSet {
  std::set<EntryHandle> dropped;               // entry handles (EntryInfo::handle)
  std::map<EntryHandle, NewContent> replaced;  // by handle; the stored name stays the entry's
  std::vector<NewContent> added;            // appended in this order
  // Not 0: the new archive is written as a volume set (as arj a -v), no
  // volume larger than this many bytes (at least kMinVolumeSize), named
  // after the destination, which must end in ".arj".
  uint64_t volume_size = 0;
  // The change adds a chapter, as arj ac: the added entries make the new
  // chapter's range alone, placed after the last entry of their names;
  // the `carried` entries (kept as they are) go on into it; a label entry
  // <<<NNN>>> ends the archive. Only a chapter archive, or one without
  // entries, takes a new chapter.
  bool new_chapter = false;
  std::set<EntryHandle> carried;  // entry handles
  // Comments written in place of the stored ones, "" removing one: of old
  // entries (by handle; kept or replaced), and of the archive.
  std::map<EntryHandle, std::string> comments;
  std::optional<std::string> archive_comment;
  // The stored names AddByName took, each once.
  std::set<std::string> named;
};

// The smallest volume size a set is written with (arj_types.h).
using format::kMinVolumeSize;

// A volume size a set can be written with; if not (kBadArgument), why.
ARJHOST_API Status CheckVolumeSize(uint64_t size);

// Whether an entry's header holds `name` and `comment` (the basic header
// within the 2600 bytes readers take), and a comment holds no NUL.
ARJHOST_API bool CommentFits(const std::string& name, const std::string& comment);

// Told each time the rebuild starts reading a new or replacing file: how
// many have been started (this one included), of how many, and its path.
using RebuildProgress = std::function<void(size_t started, size_t total, const std::string& path)>;

// The bytes of an ARJ archive without entries: a main header of our own
// making (named `name`, host OS UNIX, created and modified now) and the
// end marker.
ARJHOST_API std::vector<uint8_t> EmptyArchiveBytes(const std::string& name);

}  // namespace arjhost
