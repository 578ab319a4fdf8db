// Putting extracted entries in place under one folder, by the rules that
// keep a stranger's archive inside it: a name never leaves the folder (a
// leading "/", "\" or drive letter is removed, ".." refused), no symbolic
// link is followed on the way to an entry's place, a file is written under
// a temporary name and renamed into place only when whole, an existing
// file is replaced, never written through, a symbolic link is made only
// when it stays inside the folder and a hard link only to a file this
// extraction wrote; devices and FIFOs are not made. Folders' stored times
// and modes are applied once every entry is in place.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/api/archive.h"
#include "runtime/api/export.h"

namespace arjhost {

// The path under the extraction folder of an entry's name as text
// (EntryText): separators as '/', without what made it absolute; false
// when extraction refuses the name.
ARJHOST_API bool ExtractedPath(const std::string& text, std::string* path);
// The same, saying why a name is refused.
ARJHOST_API bool ExtractedPath(const std::string& text, std::string* path, std::string* why);

// An entry that makes nothing when extracted: a comment alone (of the
// main header's type), a volume or chapter label.
ARJHOST_API bool MakesNoFile(const EntryInfo& entry);

// The process's umask, read without changing it: what extraction applies.
ARJHOST_API mode_t ExtractionUmask();
// The mode an extracted file gets from its entry, under `umask` unless
// `preserve_permissions` (FolderExtractionOptions).
ARJHOST_API mode_t ExtractedFileMode(const EntryInfo& entry, bool preserve_permissions, mode_t umask);
// The same for a folder; false when the entry stores no UNIX mode (the
// folder keeps the one it was made with: 0777 under the umask).
ARJHOST_API bool ExtractedFolderMode(const EntryInfo& entry, bool preserve_permissions, mode_t umask, mode_t* mode);
// Whether extraction makes a symbolic link to `target` (as text) from a
// name `depth` folders below the extraction folder; if not, `why`.
ARJHOST_API bool ExtractedLinkStaysInside(const std::string& target, size_t depth, std::string* why);

// What becomes of a file or link that holds an entry's name already.
enum class ExistingFile : uint8_t { kReplace, kKeep, kFail };

struct FolderExtractionOptions {
  int codepage = 437;  // of stored names not made on UNIX that are not UTF-8
  bool flat = false;   // no folders: each file under the last part of its name
  // Existing folders take their entries' modes and times too (files and
  // links: see Hooks::existing).
  bool overwrite = false;
  // Stored UNIX modes as they are; else without set-user-ID and
  // set-group-ID bits, and through the umask.
  bool preserve_permissions = false;
  // What came out of a damaged entry is kept under its name (it still fails).
  bool keep_damaged = false;
  // The archive holds hard links: the files written are remembered for them.
  bool hard_links = false;
  // How messages name the caller's switches for the choices above.
  struct Switches {
    std::string overwrite = "-o";
    std::string skip_existing = "-n";
    std::string keep_damaged = "--keep-damaged";
  };
  Switches switches;
};

// A file made for an entry under its temporary name, to decode into; its
// temporary name goes unless FolderExtraction::FinishFile puts it in place.
class ARJHOST_API PlacedFile {
 public:
  PlacedFile();
  ~PlacedFile();
  PlacedFile(PlacedFile&&) noexcept;
  PlacedFile& operator=(PlacedFile&&) noexcept;

  bool empty() const;
  // Open for reading and writing: Archive::ExtractToFile's `fd`.
  int fd() const;
  // Where it goes, under the extraction folder.
  const std::string& path() const;

  struct Parts;

 private:
  friend class FolderExtraction;
  std::unique_ptr<Parts> parts_;
};

class ARJHOST_API FolderExtraction {
 public:
  // Into the folder open as `root_fd`, which the caller keeps open until
  // it has called FinishFolders.
  FolderExtraction(int root_fd, const FolderExtractionOptions& options);
  ~FolderExtraction();
  FolderExtraction(const FolderExtraction&) = delete;
  FolderExtraction& operator=(const FolderExtraction&) = delete;

  // Where the caller's own order comes in; each may be empty.
  struct Hooks {
    // The first time a kind of leading prefix ("/", "C:") is removed from a name.
    std::function<void(const std::string& removed)> prefix_removed;
    // Before an entry is placed at `path` (under the folder).
    std::function<void(const std::string& path)> placing;
    // For a file or link at `path` that holds the entry's name: without
    // the hook it is kept out (kFail).
    std::function<ExistingFile(const std::string& path)> existing;
  };

  struct Step {
    enum class Kind : uint8_t {
      kDone,     // made (a folder, a link)
      kSkipped,  // left out: `why`; `quiet` when the caller asked for it (a file kept)
      kFailed,   // `why`
      kNothing,  // nothing to make (MakesNoFile, a folder with `flat`)
      kDecode,   // `file` waits for the entry's bytes, then FinishFile
    };
    Kind kind = Kind::kNothing;
    std::string why;
    std::string path;  // kDone, kDecode: where, under the folder ('/' between parts)
    bool quiet = false;
    PlacedFile file;
  };

  // Makes what `entry` needs before its data: its folder, link, or the
  // file it is decoded into. `tag` names the entry in FinishFolders.
  Step Prepare(const EntryInfo& entry, size_t tag, const Hooks& hooks);
  // Puts the decoded file in place when whole (or, damaged, when
  // keep_damaged asks and bytes came out), with its stored mode and time.
  // Returns "" when the entry succeeded; else why not: `cause` (why the
  // decoding failed) with what became of its damaged bytes, or why the
  // whole file could not be put in place.
  std::string FinishFile(const EntryInfo& entry, PlacedFile file, const ExtractResult& outcome,
                         const std::string& cause);
  // Once every entry is in place: the folders' stored modes and times,
  // deepest first; `failed` hears of each that could not take them.
  void FinishFolders(const std::function<void(size_t tag, const std::string& why)>& failed);

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace arjhost
