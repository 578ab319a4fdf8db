// Which entries of a chapter archive (arj ac) an operation takes, for
// every door alike: with a chapter named (arj's -jbN) those that belong to
// it, else those arj takes for the main header's chapter (the latest),
// none when that chapter is refused. Every entry of an archive without
// chapters.
#pragma once

#include <vector>

#include "runtime/api/archive.h"
#include "runtime/api/export.h"
#include "runtime/api/status.h"

namespace arjhost {

class ARJHOST_API ChapterChoice {
 public:
  // The choice for the archive whose main header names chapter `latest`;
  // `named` 0 when no chapter is named. A named chapter that is not one of
  // the archive's fails (kBadArgument), saying which ones are.
  static Status Make(int named, int latest, const std::vector<EntryInfo>& entries, ChapterChoice* choice);

  bool Takes(const EntryInfo& entry) const;
  bool named() const { return named_; }
  int chapter() const { return chapter_; }

 private:
  bool named_ = false;
  int chapter_ = 0;
  bool archive_chapter_refused_ = false;
};

}  // namespace arjhost
