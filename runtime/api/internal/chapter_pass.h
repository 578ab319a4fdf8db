// A rebuild's new archive turned into the next chapter of a chapter
// archive by the format's rules (plugin/format/chapters.h): the I/O.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/format/chapters.h"
#include "runtime/api/status.h"

namespace arjhost {

// Writes the archive in `single` again into the file `out` by the plan;
// `now` (seconds since 1970) is the label's time.
Status WriteChapter(const std::string& single, const format::ChapterPlan& plan, int64_t now, const std::string& out);

}  // namespace arjhost
