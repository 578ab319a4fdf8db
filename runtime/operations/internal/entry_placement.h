// Putting an extracted file, link or folder under its name: made under a
// temporary name beside it and renamed into place only when whole, so a
// failed entry never leaves half of itself behind, and an existing name is
// replaced, never written through.
#pragma once

#include <string>

namespace arjhost {

class EntryPlacement {
 public:
  EntryPlacement(int dir, std::string name);
  EntryPlacement(const EntryPlacement&) = delete;
  EntryPlacement& operator=(const EntryPlacement&) = delete;
  // Removes the temporary name unless Commit moved it into place; so does
  // a signal that ends the process meanwhile.
  ~EntryPlacement();

  // Empty when the name may be taken: it is free, or holds something
  // other than a folder and `overwrite` is set. Else why not, with `hint`
  // on what would take it.
  std::string Check(bool overwrite, const std::string& hint) const;
  // Whether something other than a folder holds the name already.
  bool HoldsFile() const;
  int dir() const { return dir_; }
  const std::string& temp() const { return temp_; }
  // Renames the temporary name to the entry's; empty on success, else why
  // not. Renaming a hard link over another name of the same file leaves
  // both names, so a hard link then drops its temporary name itself.
  std::string Commit();

 private:
  int dir_;
  std::string name_;
  std::string temp_;
  int pending_slot_;  // removed by a signal that ends the process (pending_files.h)
  bool committed_ = false;
};

}  // namespace arjhost
