// A chapter archive as arj ac writes one: the main header names the last
// chapter, each entry carries the range of chapters it belongs to, a new
// version of a file stands right after the last entry of its name, and a
// label entry <<<NNN>>> of the chapter ends each chapter's additions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace arjhost::format {

// The next chapter of an archive: its number, and for each entry of the
// rewritten archive (in its order) its name and chapter range.
struct ChapterPlan {
  uint8_t chapter = 0;  // the new one
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

// The fixed header (from the id on, kFixedHeaderSize bytes) of the label
// entry of `chapter`, made as arj makes it: a header alone, host UNIX,
// stamped `time` (seconds since 1970), of that chapter alone.
void NewChapterLabelFixed(uint8_t chapter, uint32_t time, uint8_t* h);

// Sets the chapter range in a fixed part from the first header size on (as
// Rewritten takes it); false when it is too short to hold one.
bool SetChapterRange(uint8_t first, uint8_t last, std::vector<uint8_t>* fixed);

}  // namespace arjhost::format
