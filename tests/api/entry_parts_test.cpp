// PartsProblem: whether a listed entry's parts make up its file, from what
// their headers say.
#include <gtest/gtest.h>

#include "plugin/format/arj_layout.h"
#include "runtime/api/archive.h"

namespace {

using EntryPart = arjhost::EntryInfo::Part;

TEST(PartsProblem, PartsMustStartWhereThePartsBeforeThemEnd) {
  const uint64_t kNearFourGiB = 0xFFFFFFF0u;
  const struct {
    const char* label;
    uint8_t flags;
    std::vector<EntryPart> parts;
    const char* problem;  // "" for none
  } cases[] = {
      {"a whole entry", 0, {{10, 1, 0}}, ""},
      {"parts in order", FLAG_SPLIT_NEXT, {{10, 1, 0}, {20, 2, 10}, {5, 3, 30}}, ""},
      {"positions not stored", FLAG_SPLIT_NEXT, {{10, 1, -1}, {20, 2, -1}}, ""},
      {"a first part that does not start the file", FLAG_SPLIT_NEXT, {{10, 1, 100}, {20, 2, 110}}, ""},
      {"a part missing between", FLAG_SPLIT_NEXT, {{10, 1, 0}, {5, 3, 30}},
       "part 2 of 2 starts at offset 30 of the file, where the parts before it end at 10"},
      {"parts out of order", FLAG_SPLIT_NEXT, {{10, 1, 0}, {20, 2, 30}, {5, 3, 10}},
       "part 2 of 3 starts at offset 30 of the file"},
      {"positions wrap at 4 GiB", FLAG_SPLIT_NEXT, {{kNearFourGiB, 1, 0}, {0x20, 2, 0xFFFFFFF0}, {1, 3, 0x10}}, ""},
      {"an orphan part", FLAG_SPLIT_PREV, {{10, 1, 40}}, "its first part is missing"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    arjhost::EntryInfo e;
    e.header_known = true;
    e.flags = c.flags;
    e.parts = c.parts;
    const std::string problem = arjhost::PartsProblem(e);
    if (*c.problem == '\0') EXPECT_EQ(problem, "");
    else EXPECT_EQ(problem.rfind(c.problem, 0), 0u) << problem;
  }
}

}  // namespace
