// A rebuild's new archive turned into the next chapter of a chapter
// archive, as arj ac writes one: the main header names the new chapter,
// each entry carries its chapter range, a new version of a file stands
// right after the last entry of its name, and a label entry <<<NNN>>> of
// the new chapter ends the archive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/api/status.h"

namespace arjhost {

struct ChapterPlan {
  uint8_t chapter = 0;  // the new one
  // For each entry of the rebuild's archive, in its order: its name and
  // chapter range.
  struct Entry {
    std::string name;
    uint8_t first = 0;
    uint8_t last = 0;
    bool added = false;  // a new version, placed after the last entry of its name
  };
  std::vector<Entry> entries;
};

// The order the entries take (indices into plan.entries), as arj ac
// places them.
std::vector<size_t> ChapterOrder(const ChapterPlan& plan);
// The label entry's name: "<<<001>>>".
std::string ChapterLabel(uint8_t chapter);

// Writes the archive in `single` again into the file `out` by the plan;
// `now` (seconds since 1970) is the label's time.
Status WriteChapter(const std::string& single, const ChapterPlan& plan, int64_t now, const std::string& out);

}  // namespace arjhost
