// A chapter archive's rules: the label's name and header, the order a new
// chapter's entries take, the range set in a header.
#include "plugin/format/chapters.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/format/arj_layout.h"

namespace {

using namespace arjhost::format;

TEST(Chapters, LabelNamesAsArjNamesThem) {
  EXPECT_EQ(ChapterLabel(1), "<<<001>>>");
  EXPECT_EQ(ChapterLabel(42), "<<<042>>>");
  EXPECT_EQ(ChapterLabel(kMaxChapter), "<<<250>>>");
  EXPECT_EQ(ChapterLabel(255), "<<<255>>>");

  uint8_t h[kFixedHeaderSize];
  NewChapterLabelFixed(3, 0x12345678, h);
  EXPECT_EQ(FileTypeOf(h[fixed_header::kFileType]), FileType::kChapterLabel);
  EXPECT_EQ(HostOsOf(h[fixed_header::kHostOs]), HostOs::kUnix);
  EXPECT_EQ(LoadDWord(h + fixed_header::kTime), 0x12345678u);
  EXPECT_EQ(h[fixed_header::kFirstChapter], 3);
  EXPECT_EQ(h[fixed_header::kLastChapter], 3);
  EXPECT_EQ(PackedSize(h), 0u) << "a header alone";
}

// A new version stands right after the last entry of its name; a new name
// goes to the end; kept entries keep their order.
TEST(Chapters, OrderOfANewChapter) {
  const struct {
    std::vector<std::pair<std::string, bool>> entries;  // name, added
    std::vector<size_t> order;
  } rows[] = {
      {{}, {}},
      {{{"a", false}, {"b", false}}, {0, 1}},
      {{{"a", false}, {"b", false}, {"a", true}}, {0, 2, 1}},
      {{{"a", false}, {"a", false}, {"b", false}, {"a", true}}, {0, 1, 3, 2}},
      {{{"a", false}, {"c", true}, {"a", true}}, {0, 2, 1}},
      {{{"A", false}, {"a", true}}, {0, 1}},  // names compare as stored
  };
  for (const auto& row : rows) {
    ChapterPlan plan;
    plan.chapter = 2;
    for (const auto& [name, added] : row.entries) plan.entries.push_back({name, 1, 2, added});
    EXPECT_EQ(ChapterOrder(plan), row.order) << row.entries.size();
  }
}

TEST(Chapters, RangeSetInAFixedPart) {
  std::vector<uint8_t> fixed(kFixedHeaderSize - fixed_header::kBasicHeader, 0);
  ASSERT_TRUE(SetChapterRange(2, 7, &fixed));
  EXPECT_EQ(fixed[fixed_header::kFirstChapter - fixed_header::kBasicHeader], 2);
  EXPECT_EQ(fixed[fixed_header::kLastChapter - fixed_header::kBasicHeader], 7);
  std::vector<uint8_t> short_part(fixed.size() - 1, 0);
  EXPECT_FALSE(SetChapterRange(2, 7, &short_part));
  EXPECT_EQ(short_part, std::vector<uint8_t>(fixed.size() - 1, 0)) << "untouched";
}

}  // namespace
