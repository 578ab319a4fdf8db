// A temporary file in the destination's folder, that either replaces the
// destination in one rename or is removed (also by a signal: see
// pending_files.h).
#pragma once

#include <string>

namespace arjhost {

class TempBeside {
 public:
  explicit TempBeside(std::string destination) : destination_(std::move(destination)) {}
  ~TempBeside();  // removes the file unless committed
  TempBeside(const TempBeside&) = delete;
  TempBeside& operator=(const TempBeside&) = delete;

  // Creates the empty file. It takes the permission bits of a regular
  // file already at the destination (never its set-user-ID, set-group-ID
  // or sticky bit, and never those of a link's target), else 0666 less the
  // umask. False with `error` set when that is not possible.
  bool Create(std::string* error);
  const std::string& path() const { return path_; }
  // Puts the file's bytes on disk, renames it over the destination (a
  // link there is replaced, not written through) and puts the rename on
  // disk too; the rename is the change MakeTheChange marks. With
  // `may_replace` false the destination must not exist (a new archive
  // never replaces one that appeared meanwhile): it fails if one does.
  bool Commit(std::string* error, bool may_replace = true);
  // Commit in two steps, for several files that make one change (a volume
  // set): each put on disk first, then all renamed within one
  // MakeTheChange. Place does not sync the folder.
  bool Sync(std::string* error) const;
  bool Place(std::string* error, bool may_replace = true);
  // The file is in place by other means (a set's commit): it is no longer
  // removed.
  void Placed();

 private:
  std::string destination_;
  std::string path_;
  int pending_slot_ = -1;
  bool committed_ = false;
};

// Puts on disk the folder `path` lies in: a rename or removal there.
void SyncFolderOf(const std::string& path);
// fsync(2) of the file at `path`: 0 or the errno.
int SyncFile(const std::string& path);

// rename(2) that fails with EEXIST when `to` exists, whatever the file
// system: 0 or the errno.
int RenameNoReplace(const std::string& from, const std::string& to);

}  // namespace arjhost
