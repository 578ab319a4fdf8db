// Where an entry goes under an extraction folder, or why it goes nowhere:
// one pure decision that extraction, the mount and every binding act on,
// so that no door decides alone what an entry is or where it lands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/api/archive.h"
#include "runtime/api/export.h"

namespace arjhost {

struct EntryPlanOptions {
  int codepage = 437;  // of names not made on UNIX that are not UTF-8
  bool flat = false;   // no folders: each file under the last part of its name
};

struct ARJHOST_API EntryPlan {
  enum class Kind : uint8_t {
    kNothing,       // makes nothing: a label, a comment alone, a folder when flat
    kRefused,       // `why`: unsafe or unreadable, the entry fails
    kSkipped,       // `why`: a device or FIFO, which is not made
    kFolder,
    kFile,
    kSymbolicLink,  // to `link_text`, which stays inside the folder
    kHardLink,      // to the file at `link_parts`
  };
  Kind kind = Kind::kNothing;
  std::string why;
  // Where it goes, component by component, below the folder.
  std::vector<std::string> parts;
  // What made the name absolute and was removed ("/", "C:"), "" for none.
  std::string removed_prefix;
  std::string link_text;
  std::vector<std::string> link_parts;

  // `parts`, `link_parts` joined with '/'.
  std::string Path() const;
  std::string LinkPath() const;
};

// The plan for `entry` by extraction's rules: a name never leaves the
// folder (a leading "/", "\" or drive letter removed, ".." refused), a
// name cut at 509 bytes is refused (two such names could land on one
// file), a symbolic link only when it stays inside the folder, a hard
// link never to itself, devices and FIFOs never made.
ARJHOST_API EntryPlan PlanEntry(const EntryInfo& entry, const EntryPlanOptions& options);

}  // namespace arjhost
