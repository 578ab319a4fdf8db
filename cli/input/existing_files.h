// What extract does where a file (or link) already holds an entry's name:
// -o replaces it, -n keeps it (the entry is skipped, not failed); without
// either, a person at a terminal is asked, as arj and unzip ask (yes, no,
// all, none); else the entry fails.
#pragma once

#include <string>

#include "cli/input/args.h"

namespace cli {

class ExistingFiles {
 public:
  enum class Choice { kReplace, kKeep, kFail };

  explicit ExistingFiles(const Args& args);
  // For the file shown as `shown` (terminal-safe).
  Choice Decide(const std::string& shown);

 private:
  Choice ruled_;
  bool ask_;
};

}  // namespace cli
