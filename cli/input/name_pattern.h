// Choosing entries by name: wildcard patterns and -x exclusions, shared by
// list, extract, test, delete and the folder walk of add and create.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "cli/input/args.h"

namespace cli {

// Whether `name` is taken by `pattern`. '*' stands for any run of
// characters but '/', '?' for one character but '/', "**" for any run
// across folders. A pattern without '/' may match the name's last part
// ("*.txt" takes "docs/a.txt"); one with '/' matches from the start. A
// pattern that matches a folder takes what is under it, so "docs" and
// "docs/" take "docs/a.txt". A trailing '/' is ignored.
bool PatternTakes(const std::string& pattern, const std::string& name);

// The patterns a command was given and those of -x; remembers which
// patterns took something so that the others can be named.
class NameSelection {
 public:
  NameSelection(std::vector<std::string> patterns, const Args& args);
  // Whether an entry whose name is `stored` (shown as `shown`) is chosen:
  // taken by a pattern (any, when none was given) and by no exclusion.
  bool Takes(const std::string& stored, const std::string& shown);
  // Whether every name is chosen: no pattern and no exclusion given.
  bool TakesEverything() const { return patterns_.empty() && excluded_.empty(); }
  // Whether an exclusion takes the name.
  bool Excluded(const std::string& name) const;
  // The patterns that took nothing, in the order given.
  std::vector<std::string> Unmatched() const;

 private:
  std::vector<std::string> patterns_;
  std::vector<std::string> excluded_;
  std::set<std::string> matched_;
};

}  // namespace cli
